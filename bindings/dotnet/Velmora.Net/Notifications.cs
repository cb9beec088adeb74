using System;
using System.Threading;

namespace Velmora
{
    /// <summary>
    /// The platform's notifications as C# events: the first handler registers the binding's static
    /// callback with the plugin, removing the last unregisters it. Every handler runs on the host's
    /// delivering thread; one that throws is reported through <see cref="Callbacks.HandlerFailed"/>
    /// and the others still run.
    /// </summary>
    internal static class Notifications
    {
        // User-data keys of the notifications; operation keys start above them.
        internal const long PurchaseKey = 1, InstallKey = 2, InstallDetailsKey = 3, LastReservedKey = 3;

        internal static readonly Notification<Action<ProductPurchasedEventArgs>> Purchase =
            new Notification<Action<ProductPurchasedEventArgs>>(
                "Store_RegisterForPurchaseEvents",
                () => NativeMethods.Store_RegisterForPurchaseEvents(Operations.ObjectCallback, new IntPtr(PurchaseKey)),
                () => NativeMethods.Store_UnRegisterForPurchaseEvents());

        internal static readonly Notification<Action> Install = new Notification<Action>(
            "DLC_RegisterForDLCCompletedEvent",
            () => NativeMethods.DLC_RegisterForDLCCompletedEvent(Operations.InstallCallback, new IntPtr(InstallKey)),
            () => NativeMethods.DLC_UnRegisterForDLCCompletedEvent());

        internal static readonly Notification<Action<InstallCompletedEventArgs>> InstallDetails =
            new Notification<Action<InstallCompletedEventArgs>>(
                "DLC_RegisterForDLCCompletedWithDetailsEvent",
                () => NativeMethods.DLC_RegisterForDLCCompletedWithDetailsEvent(Operations.ObjectCallback, new IntPtr(InstallDetailsKey)),
                () => NativeMethods.DLC_UnRegisterForDLCCompletedWithDetailsEvent());

        /// <summary>Delivers an object-shaped notification; false when the key is an operation's.</summary>
        internal static bool OnObject(int hr, IntPtr result, IntPtr key)
        {
            switch (key.ToInt64())
            {
                case PurchaseKey:
                    Deliver(Purchase, ProductPurchasedEventArgs.Wrap(result));
                    return true;
                case InstallDetailsKey:
                    Deliver(InstallDetails, InstallCompletedEventArgs.Wrap(result));
                    return true;
                default:
                    return false;
            }
        }

        internal static void OnInstall(IntPtr key)
        {
            if (key.ToInt64() != InstallKey) return;
            Action handlers = Install.Handlers;
            if (handlers == null) return;
            foreach (Action handler in handlers.GetInvocationList())
            {
                try
                {
                    handler();
                }
                catch (Exception e)
                {
                    Callbacks.Report(e);
                }
            }
        }

        // The arguments are valid while the handlers run and are disposed after the last one.
        private static void Deliver<T>(Notification<Action<T>> notification, T args) where T : VelmoraHandle
        {
            using (args)
            {
                Action<T> handlers = notification.Handlers;
                if (handlers == null || args == null) return;
                foreach (Action<T> handler in handlers.GetInvocationList())
                {
                    try
                    {
                        handler(args);
                    }
                    catch (Exception e)
                    {
                        Callbacks.Report(e);
                    }
                }
            }
        }
    }

    internal sealed class Notification<THandler> where THandler : Delegate
    {
        private readonly object gate = new object();
        private readonly string registerExport;
        private readonly Func<bool> register;
        private readonly Func<bool> unregister;
        private THandler handlers;

        internal Notification(string registerExport, Func<bool> register, Func<bool> unregister)
        {
            this.registerExport = registerExport;
            this.register = register;
            this.unregister = unregister;
        }

        internal THandler Handlers => Volatile.Read(ref handlers);

        internal void Add(THandler handler)
        {
            if (handler == null) return;
            lock (gate)
            {
                if (handlers == null && !register())
                    throw VelmoraException.Refused(registerExport, "the platform refused the subscription");
                Volatile.Write(ref handlers, (THandler)Delegate.Combine(handlers, handler));
            }
        }

        internal void Remove(THandler handler)
        {
            if (handler == null) return;
            lock (gate)
            {
                if (handlers == null) return;
                Volatile.Write(ref handlers, (THandler)Delegate.Remove(handlers, handler));
                if (handlers == null) unregister();
            }
        }
    }
}
