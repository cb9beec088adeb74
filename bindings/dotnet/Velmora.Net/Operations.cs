using System;
using System.Collections.Generic;
using System.Threading.Tasks;

namespace Velmora
{
    /// <summary>
    /// The operations started and not yet delivered. The user data that travels with each native call
    /// is a key into this table, never a GCHandle, so an operation the plugin never completes costs one
    /// table entry and nothing that pins or leaks. The native callbacks are static methods whose
    /// delegates live in static fields for the process, as ahead-of-time compilation needs.
    /// </summary>
    internal static class Operations
    {
        private static readonly object Gate = new object();
        private static readonly Dictionary<long, IPending> Pending = new Dictionary<long, IPending>();
        private static long lastKey = Notifications.LastReservedKey;

        internal static readonly ManagedObjectCallback ObjectCallback = OnObject;
        internal static readonly ManagedValueCallback ValueCallback = OnValue;
        internal static readonly ManagedInstallCallback InstallCallback = OnInstall;

        internal interface IPending
        {
            void Complete(int hr, IntPtr result);
            void Complete(int hr, uint value);
        }

        /// <summary>The number of operations started and not yet delivered.</summary>
        internal static int Count
        {
            get { lock (Gate) return Pending.Count; }
        }

        internal static IntPtr Add(IPending operation)
        {
            lock (Gate)
            {
                long key = ++lastKey;
                Pending.Add(key, operation);
                return new IntPtr(key);
            }
        }

        /// <summary>The task of a started operation; an export that answered false started nothing.</summary>
        internal static T Started<T>(bool started, IntPtr key, T task, string export)
        {
            if (started) return task;
            Take(key);
            throw VelmoraException.NotStarted(export);
        }

        private static IPending Take(IntPtr key)
        {
            lock (Gate)
            {
                if (!Pending.TryGetValue(key.ToInt64(), out IPending operation)) return null;
                Pending.Remove(key.ToInt64());
                return operation;
            }
        }

        [MonoPInvokeCallback(typeof(ManagedObjectCallback))]
        private static void OnObject(int hr, IntPtr result, IntPtr userData)
        {
            try
            {
                if (Notifications.OnObject(hr, result, userData)) return;
                IPending operation = Take(userData);
                if (operation != null) operation.Complete(hr, result);
            }
            catch (Exception e)
            {
                Callbacks.Report(e);
            }
        }

        [MonoPInvokeCallback(typeof(ManagedValueCallback))]
        private static void OnValue(int hr, uint value, IntPtr userData)
        {
            try
            {
                IPending operation = Take(userData);
                if (operation != null) operation.Complete(hr, value);
            }
            catch (Exception e)
            {
                Callbacks.Report(e);
            }
        }

        [MonoPInvokeCallback(typeof(ManagedInstallCallback))]
        private static void OnInstall(IntPtr userData)
        {
            try
            {
                Notifications.OnInstall(userData);
            }
            catch (Exception e)
            {
                Callbacks.Report(e);
            }
        }
    }

    /// <summary>An operation with a record result: a success with none (cancelled, or the platform had none) is null.</summary>
    internal sealed class ObjectOperation<T> : TaskCompletionSource<T>, Operations.IPending where T : VelmoraHandle
    {
        private readonly Func<IntPtr, T> wrap;
        private readonly string export;

        internal ObjectOperation(Func<IntPtr, T> wrap, string export) : base(TaskCreationOptions.RunContinuationsAsynchronously)
        {
            this.wrap = wrap;
            this.export = export;
        }

        public void Complete(int hr, IntPtr result)
        {
            T record = wrap(result);
            if (hr == 0)
            {
                SetResult(record);
                return;
            }
            record?.Dispose();
            SetException(VelmoraException.FromHResult(hr, export));
        }

        public void Complete(int hr, uint value) { Complete(hr, IntPtr.Zero); }
    }

    /// <summary>A privilege check: a cancelled one answers 0 (NoIssue).</summary>
    internal sealed class PrivilegeOperation : TaskCompletionSource<PrivilegeCheckResult>, Operations.IPending
    {
        private readonly string export;

        internal PrivilegeOperation(string export) : base(TaskCreationOptions.RunContinuationsAsynchronously) { this.export = export; }

        public void Complete(int hr, uint value)
        {
            if (hr == 0) SetResult((PrivilegeCheckResult)value);
            else SetException(VelmoraException.FromHResult(hr, export));
        }

        public void Complete(int hr, IntPtr result) { Complete(hr, 0u); }
    }

    /// <summary>A store screen: its value is the action's status (1 completed, 2 canceled, 3 error) and its HRESULT the action's error code.</summary>
    internal sealed class ScreenOperation : TaskCompletionSource<bool>, Operations.IPending
    {
        private const uint Completed = 1, Canceled = 2;
        private readonly string export;

        internal ScreenOperation(string export) : base(TaskCreationOptions.RunContinuationsAsynchronously) { this.export = export; }

        public void Complete(int errorCode, uint status)
        {
            if (status == Completed) SetResult(true);
            else if (status == Canceled) SetCanceled();
            else SetException(VelmoraException.FromHResult(errorCode == 0 ? VelmoraException.UnspecifiedFailure : errorCode, export));
        }

        public void Complete(int hr, IntPtr result) { Complete(hr, 3u); }
    }
}
