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
        private static readonly Dictionary<long, Operation> Pending = new Dictionary<long, Operation>();
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
            List<Operation> ending;
            lock (Gate)
            {
                bound = false;
                ending = new List<Operation>(Pending.Values);
            }
            foreach (Operation operation in ending) operation.End();
        }

        /// <summary>
        /// Starts an operation: adds it under a new key, calls the export, and answers its task; an
        /// export that answered false started nothing, and the call raises why at once.
        /// </summary>
        internal static TTask Start<TTask>(Operation operation, TTask task, uint userId, Func<IntPtr, bool> start, string export) where TTask : Task
        {
            long key;
            lock (Gate)
            {
                Plugin.EnsureBound(bound);
                key = ++lastKey;
                Pending.Add(key, operation);
            }
            bool started = false;
            try
            {
                started = start(new IntPtr(key));
            }
            finally
            {
                if (!started) Take(key);
            }
            if (!started) throw VelmoraException.NotStarted(export, userId);
            return task;
        }

        private static Operation Take(long key)
        {
            lock (Gate)
            {
                if (!Pending.TryGetValue(key, out Operation operation)) return null;
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
                Operation operation = Take(userData.ToInt64());
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
                Operation operation = Take(userData.ToInt64());
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

    /// <summary>One started operation: how its delivery completes its task, and how its end drops it.</summary>
    internal abstract class Operation
    {
        private readonly string export;
        private volatile bool ended;

        protected Operation(string export) { this.export = export; }

        /// <summary>Ends the task as cancelled; a later delivery only gives its result's reference back.</summary>
        internal void End()
        {
            ended = true;
            Cancel();
        }

        internal void Complete(int hr, IntPtr result)
        {
            if (ended) Release(result);
            else CompleteObject(hr, result);
        }

        internal void Complete(int hr, uint value)
        {
            if (!ended) CompleteValue(hr, value);
        }

        protected VelmoraException Failure(int hr) => VelmoraException.FromHResult(hr, export);

        protected abstract void Cancel();

        protected virtual void Release(IntPtr result) { }

        protected virtual void CompleteObject(int hr, IntPtr result) => CompleteValue(hr, 0);

        protected virtual void CompleteValue(int hr, uint value) => CompleteObject(hr, IntPtr.Zero);
    }

    /// <summary>
    /// An operation with an object result: a failure faults the task, a success with no result (the
    /// platform cancelled the operation, or had none) cancels it, and a result is taken, once, by
    /// <c>take</c>: read into plain data and given back, or wrapped in its handle.
    /// </summary>
    internal sealed class ObjectOperation<T> : Operation where T : class
    {
        private readonly TaskCompletionSource<T> completion;
        private readonly Func<IntPtr, T> take;
        private readonly Records.DisposeExport dispose;

        internal ObjectOperation(Func<IntPtr, T> take, Records.DisposeExport dispose, string export)
            : this(new TaskCompletionSource<T>(TaskCreationOptions.RunContinuationsAsynchronously), take, dispose, export) { }

        /// <summary>The last step of an operation of several steps, completing the task the first one handed out.</summary>
        internal ObjectOperation(TaskCompletionSource<T> completion, Func<IntPtr, T> take, Records.DisposeExport dispose, string export) : base(export)
        {
            this.completion = completion;
            this.take = take;
            this.dispose = dispose;
        }

        internal Task<T> Task => completion.Task;

        protected override void Cancel() => completion.TrySetCanceled();

        protected override void Release(IntPtr result)
        {
            if (result != IntPtr.Zero) dispose(result);
        }

        protected override void CompleteObject(int hr, IntPtr result)
        {
            if (hr < 0)
            {
                Release(result);
                completion.TrySetException(Failure(hr));
                return;
            }
            if (result == IntPtr.Zero)
            {
                completion.TrySetCanceled();
                return;
            }
            T value;
            try
            {
                value = take(result);
            }
            catch (VelmoraException e)
            {
                completion.TrySetException(e);
                return;
            }
            completion.TrySetResult(value);
        }
    }

    /// <summary>A privilege check: a failure faults the task; a cancelled check answers 0 (NoIssue), which the platform does not tell apart.</summary>
    internal sealed class PrivilegeOperation : Operation
    {
        private readonly TaskCompletionSource<PrivilegeCheckResult> completion = new TaskCompletionSource<PrivilegeCheckResult>(TaskCreationOptions.RunContinuationsAsynchronously);

        internal PrivilegeOperation(string export) : base(export) { }

        internal Task<PrivilegeCheckResult> Task => completion.Task;

        protected override void Cancel() => completion.TrySetCanceled();

        protected override void CompleteValue(int hr, uint value)
        {
            if (hr < 0) completion.TrySetException(Failure(hr));
            else completion.TrySetResult((PrivilegeCheckResult)value);
        }
    }

    /// <summary>A store screen: its value is the action's status (1 completed, 2 canceled, 3 error) and its HRESULT the action's error code.</summary>
    internal sealed class ScreenOperation : Operation
    {
        private const uint Completed = 1, Canceled = 2;
        private readonly TaskCompletionSource<bool> completion = new TaskCompletionSource<bool>(TaskCreationOptions.RunContinuationsAsynchronously);

        internal ScreenOperation(string export) : base(export) { }

        internal Task Task => completion.Task;

        protected override void Cancel() => completion.TrySetCanceled();

        protected override void CompleteValue(int errorCode, uint status)
        {
            if (status == Completed) completion.TrySetResult(true);
            else if (status == Canceled) completion.TrySetCanceled();
            else completion.TrySetException(Failure(errorCode < 0 ? errorCode : HResults.Fail));
        }
    }
}
