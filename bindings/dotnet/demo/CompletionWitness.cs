using System;
using System.Collections.Generic;
using System.Threading;
using System.Threading.Tasks;

namespace Velmora.Demo
{
    /// <summary>
    /// Tells on which thread a task completed. A continuation is queued to its scheduler by the thread
    /// that completes the task, so a continuation on this scheduler, attached before the host pumps,
    /// sees the thread that ran the plugin's callback. The continuation itself does nothing.
    /// </summary>
    internal sealed class CompletionWitness : TaskScheduler
    {
        private readonly int hostThread;
        private int completingThread;

        private CompletionWitness(int hostThread) { this.hostThread = hostThread; }

        /// <summary>True when the task completed on the host thread.</summary>
        public bool OnHostThread => Volatile.Read(ref completingThread) == hostThread;

        /// <summary>Watches a task that has not completed yet; call it on the host thread, before pumping.</summary>
        public static CompletionWitness Watch(Task task)
        {
            // A task complete already was not completed by a delivery of the host: it counts as elsewhere.
            var witness = new CompletionWitness(task.IsCompleted ? -1 : Thread.CurrentThread.ManagedThreadId);
            task.ContinueWith(_ => { }, CancellationToken.None, TaskContinuationOptions.None, witness);
            return witness;
        }

        protected override void QueueTask(Task task)
        {
            Volatile.Write(ref completingThread, Thread.CurrentThread.ManagedThreadId);
            TryExecuteTask(task);
        }

        protected override bool TryExecuteTaskInline(Task task, bool taskWasPreviouslyQueued) { return false; }

        protected override IEnumerable<Task> GetScheduledTasks() { return new Task[0]; }
    }
}
