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
    /// When the plugin is unbound (its host disposed), every pending operation ends at once as
    /// cancelled and stays in the table as ended: a completion that still arrives for it later gives
    /// its result's reference back and calls nothing.
    /// </summary>
    internal static class Operations
    {
        private static readonly object Gate = new object();
        private static readonly Dictionary<long, IOperation> Pending = new Dictionary<long, IOperation>();
        private static long lastKey;
        private static volatile bool bound;

        internal static readonly ManagedObjectCallback ObjectCallback = OnObject;
        internal static readonly ManagedValueCallback ValueCallback = OnValue;
        internal static readonly ManagedInstallCallback InstallCallback = OnInstall;

        /// <summary>The number of operations started and not yet delivered, ended ones included.</summary>
        internal static int Count
        {
            get { lock (Gate) return Pending.Count; }
        }

        /// <summary>A new user-data key, never used before in this process: positive for operations, negative for notifications.</summary>
        internal static long NextKey()
        {
            lock (Gate) return ++lastKey;
        }

        /// <summary>Whether a plugin is bound; starts and subscriptions check it under the table's lock.</summary>
        internal static bool Bound
        {
            get { lock (Gate) return bound; }
        }

        /// <summary>The flag without the lock, for reads that only need to refuse early (a handle's property).</summary>
        internal static bool BoundNow => bound;

        internal static void Bind()
        {
            lock (Gate) bound = true;
        }

        /// <summary>Unbinds and ends every pending operation at once; their late completions are dropped.</summary>
        internal static void Unbind()
        {
            List<IOperation> ending;
            lock (Gate)
            {
                bound = false;
                ending = new List<IOperation>(Pending.Values);
            }
            foreach (IOperation operation in ending) operation.End();
        }

        /// <summary>Adds an operation about to start under a new key, the user data of its export; refuses while no plugin is bound.</summary>
        internal static IntPtr Add(IOperation operation)
        {
            lock (Gate)
            {
                Plugin.EnsureBound(bound);
                Pending.Add(++lastKey, operation);
                return new IntPtr(lastKey);
            }
        }

        /// <summary>The task of a started operation; an export that answered false started nothing, and the call raises why at once.</summary>
        internal static TTask Started<TTask>(bool started, IntPtr key, TTask task, uint userId, string export)
        {
            if (started) return task;
            Take(key.ToInt64());
            throw VelmoraException.NotStarted(export, userId);
        }

        private static IOperation Take(long key)
        {
            lock (Gate)
            {
                if (!Pending.TryGetValue(key, out IOperation operation)) return null;
                Pending.Remove(key);
                return operation;
            }
        }

        [MonoPInvokeCallback(typeof(ManagedObjectCallback))]
        private static void OnObject(int hr, IntPtr result, IntPtr userData)
        {
            try
            {
                if (Notifications.OnObject(result, userData.ToInt64())) return;
                IOperation operation = Take(userData.ToInt64());
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
                IOperation operation = Take(userData.ToInt64());
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
                Notifications.OnInstall(userData.ToInt64());
            }
            catch (Exception e)
            {
                Callbacks.Report(e);
            }
        }
    }

    /// <summary>One started operation, as the table of pending operations holds it.</summary>
    internal interface IOperation
    {
        void Complete(int hr, IntPtr result);
        void Complete(int hr, uint value);
        void End();
    }

    /// <summary>
    /// One started operation and the task it completes (itself, or the first step's of an operation
    /// of several steps): how its delivery completes the task, and how its end drops it.
    /// </summary>
    internal abstract class Operation<T> : TaskCompletionSource<T>, IOperation
    {
        private readonly string export;
        private readonly TaskCompletionSource<T> target;
        private volatile bool ended;

        protected Operation(string export, TaskCompletionSource<T> target) : base(TaskCreationOptions.RunContinuationsAsynchronously)
        {
            this.export = export;
            this.target = target ?? this;
        }

        /// <summary>Ends the task as cancelled; a later delivery only gives its result's reference back.</summary>
        public void End()
        {
            ended = true;
            target.TrySetCanceled();
        }

        public void Complete(int hr, IntPtr result)
        {
            if (ended) Release(result);
            else CompleteObject(hr, result);
        }

        public void Complete(int hr, uint value)
        {
            if (!ended) CompleteValue(hr, value);
        }

        protected void Succeed(T value) => target.TrySetResult(value);

        protected void Cancel() => target.TrySetCanceled();

        protected void Fail(int hr) => Fail(VelmoraException.FromHResult(hr, export));

        protected void Fail(Exception e) => target.TrySetException(e);

        protected virtual void Release(IntPtr result) { }

        protected virtual void CompleteObject(int hr, IntPtr result) => CompleteValue(hr, 0);

        protected virtual void CompleteValue(int hr, uint value) => CompleteObject(hr, IntPtr.Zero);
    }

    /// <summary>
    /// An operation with an object result: a failure faults the task, a success with no result (the
    /// platform cancelled the operation, or had none) cancels it, and a result is taken, once, by
    /// <c>take</c>: read into plain data and given back, or wrapped in its handle.
    /// </summary>
    internal sealed class ObjectOperation<T> : Operation<T> where T : class
    {
        private readonly Func<IntPtr, T> take;
        private readonly Records.DisposeExport dispose;

        /// <summary>An operation; with a target, the last step of an operation of several steps, which completes the first step's task.</summary>
        internal ObjectOperation(Func<IntPtr, T> take, Records.DisposeExport dispose, string export, TaskCompletionSource<T> target = null) : base(export, target)
        {
            this.take = take;
            this.dispose = dispose;
        }

        protected override void Release(IntPtr result)
        {
            if (result != IntPtr.Zero) dispose(result);
        }

        protected override void CompleteObject(int hr, IntPtr result)
        {
            if (hr < 0)
            {
                Release(result);
                Fail(hr);
                return;
            }
            if (result == IntPtr.Zero)
            {
                Cancel();
                return;
            }
            T value;
            try
            {
                value = take(result);
            }
            catch (VelmoraException e)
            {
                Fail(e);
                return;
            }
            Succeed(value);
        }
    }

    /// <summary>A privilege check: a failure faults the task; a cancelled check answers 0 (NoIssue), which the platform does not tell apart.</summary>
    internal sealed class PrivilegeOperation : Operation<PrivilegeCheckResult>
    {
        internal PrivilegeOperation(string export) : base(export, null) { }

        protected override void CompleteValue(int hr, uint value)
        {
            if (hr < 0) Fail(hr);
            else Succeed((PrivilegeCheckResult)value);
        }
    }

    /// <summary>A store screen: its value is the action's status (1 completed, 2 canceled, 3 error) and its HRESULT the action's error code.</summary>
    internal sealed class ScreenOperation : Operation<bool>
    {
        private const uint Completed = 1, Canceled = 2;

        internal ScreenOperation(string export) : base(export, null) { }

        protected override void CompleteValue(int errorCode, uint status)
        {
            if (status == Completed) Succeed(true);
            else if (status == Canceled) Cancel();
            else Fail(errorCode < 0 ? errorCode : HResults.Fail);
        }
    }
}
