using System;
using System.Runtime.InteropServices;

namespace Velmora
{
    /// <summary>(HRESULT, result handle carrying one reference or null, user data)</summary>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void ManagedObjectCallback(int hr, IntPtr result, IntPtr userData);

    /// <summary>(HRESULT, 32-bit value, user data)</summary>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void ManagedValueCallback(int hr, uint value, IntPtr userData);

    /// <summary>(user data)</summary>
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate void ManagedInstallCallback(IntPtr userData);

    /// <summary>
    /// Marks a static method that native code calls back. Ahead-of-time compilers of the Mono lineage
    /// look for an attribute of this name to emit the native entry of the method.
    /// </summary>
    [AttributeUsage(AttributeTargets.Method)]
    public sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        /// <summary>Marks a callback of the given delegate type.</summary>
        public MonoPInvokeCallbackAttribute(Type delegateType) { DelegateType = delegateType; }

        /// <summary>The delegate type native code calls the method as.</summary>
        public Type DelegateType { get; }
    }

    /// <summary>Where exceptions thrown by game code inside the binding's callbacks go.</summary>
    public static class Callbacks
    {
        /// <summary>
        /// Raised with every exception that an event handler of the binding's notifications (or a
        /// result's factory) throws. The exception never unwinds into the native frames that called
        /// the handler; with no subscriber it is dropped. A subscriber that throws is ignored.
        /// </summary>
        public static event Action<Exception> HandlerFailed;

        internal static void Report(Exception exception)
        {
            try
            {
                HandlerFailed?.Invoke(exception);
            }
            catch (Exception)
            {
                // A failing report has nowhere left to go; native frames must not see it.
            }
        }
    }
}
