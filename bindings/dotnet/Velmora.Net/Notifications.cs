using System;
using System.Threading;
using Velmora.Interop;
using static Velmora.Interop.NativeMethods;

namespace Velmora
{
    /// <summary>
    /// The platform's notifications as C# events: the first handler registers the binding's static
    /// callback with the plugin under a user-data key never used before, removing the last handler
    /// (or unbinding the plugin) unregisters it and retires the key. A delivery under a retired key
    /// (posted before the handlers went, delivered after) calls nothing and gives its arguments'
    /// reference back, so a handler only ever sees the notifications of its own subscription.
    /// Every handler runs on the host's delivering thread; one that throws is reported through
    /// <see cref="Callbacks.HandlerFailed"/> and the others still run.
    /// </summary>
    internal static class Notifications
    {
        // A notification key is negative, and its parity says which arguments a late delivery carries.
        private const long PurchaseParity = 0, InstallDetailsParity = 1;

        internal static readonly Notification<Action<ProductPurchasedEventArgs>> Purchase = new Notification<Action<ProductPurchasedEventArgs>>(
            "Store_RegisterForPurchaseEvents", PurchaseParity,
            key => Store_RegisterForPurchaseEvents(Operations.ObjectCallback, key),
            () => Store_UnRegisterForPurchaseEvents());

        internal static readonly Notification<Action> Install = new Notification<Action>(
            "DLC_RegisterForDLCCompletedEvent", 0,
            key => DLC_RegisterForDLCCompletedEvent(Operations.InstallCallback, key),
            () => DLC_UnRegisterForDLCCompletedEvent());

        internal static readonly Notification<Action<InstallCompletedEventArgs>> InstallDetails = new Notification<Action<InstallCompletedEventArgs>>(
            "DLC_RegisterForDLCCompletedWithDetailsEvent", InstallDetailsParity,
            key => DLC_RegisterForDLCCompletedWithDetailsEvent(Operations.ObjectCallback, key),
            () => DLC_UnRegisterForDLCCompletedWithDetailsEvent());

        internal static void RemoveAll()
        {
            Purchase.RemoveAll();
            Install.RemoveAll();
            InstallDetails.RemoveAll();
        }

        /// <summary>Delivers an object-shaped notification; false when the key is an operation's.</summary>
        internal static bool OnObject(IntPtr result, long key)
        {
            if (key >= 0) return false;
            if (key == Purchase.Key) Deliver(Purchase, ProductPurchasedEventArgs.Take(result));
            else if (key == InstallDetails.Key) Deliver(InstallDetails, InstallCompletedEventArgs.Take(result));
            else if (result != IntPtr.Zero) (-key % 2 == PurchaseParity ? Disposers.ProductPurchasedEventArgs : Disposers.IDownloadableContentPackageInstallCompletedEventArgs)(result);
            return true;
        }

        internal static void OnInstall(long key)
        {
            if (key != Install.Key) return;
            foreach (Action handler in Install.Invocations()) Guard(handler, h => h());
        }

        // The arguments are read whole before the first handler runs; the reference is back already.
        private static void Deliver<T>(Notification<Action<T>> notification, T args) where T : class
        {
            if (args == null) return;
            foreach (Action<T> handler in notification.Invocations()) Guard(handler, h => h(args));
        }

        private static void Guard<THandler>(THandler handler, Action<THandler> call)
        {
            try
            {
                call(handler);
            }
            catch (Exception e)
            {
                Callbacks.Report(e);
            }
        }
    }

    internal sealed class Notification<THandler> where THandler : Delegate
    {
        private static readonly Delegate[] None = new Delegate[0];
        private readonly object gate = new object();
        private readonly string registerExport;
        private readonly long parity;
        private readonly Func<IntPtr, bool> register;
        private readonly Func<bool> unregister;
        private THandler handlers;
        private long key;

        internal Notification(string registerExport, long parity, Func<IntPtr, bool> register, Func<bool> unregister)
        {
            this.registerExport = registerExport;
            this.parity = parity;
            this.register = register;
            this.unregister = unregister;
        }

        /// <summary>The key of the live registration; 0 when there is none.</summary>
        internal long Key => Volatile.Read(ref key);

        internal Delegate[] Invocations() => Volatile.Read(ref handlers)?.GetInvocationList() ?? None;

        internal void Add(THandler handler)
        {
            if (handler == null) return;
            lock (gate)
            {
                Plugin.EnsureBound();
                if (handlers == null)
                {
                    long next = -(Operations.NextKey() * 2 + parity);
                    if (!register(new IntPtr(next)))
                        throw VelmoraException.Refused(registerExport, "the platform refused the subscription");
                    Volatile.Write(ref key, next);
                }
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
                if (handlers == null) Retire();
            }
        }

        internal void RemoveAll()
        {
            lock (gate)
            {
                if (handlers == null) return;
                Volatile.Write(ref handlers, null);
                Retire();
            }
        }

        private void Retire()
        {
            Volatile.Write(ref key, 0);
            unregister();
        }
    }
}
