using System;
using System.Collections;
using System.Collections.Generic;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;

namespace Velmora.Interop
{
    /// <summary>
    /// A platform object that holds one reference, given back by the record type's dispose export when
    /// the object is disposed or, failing that, finalized. Properties read the platform at each access:
    /// texts are copied into strings at once, dates become UTC <see cref="DateTime"/>s, a failing
    /// platform call raises <see cref="VelmoraException"/>, a disposed object raises
    /// <see cref="ObjectDisposedException"/>, and a read while no plugin is bound raises
    /// <see cref="InvalidOperationException"/>.
    /// </summary>
    public abstract class VelmoraHandle : SafeHandle
    {
        private protected VelmoraHandle(IntPtr handle) : base(IntPtr.Zero, true) { SetHandle(handle); }

        /// <inheritdoc/>
        public override bool IsInvalid => handle == IntPtr.Zero;

        /// <summary>The native handle for one call; the caller keeps this object alive across the call.</summary>
        private protected IntPtr Live
        {
            get
            {
                if (IsClosed || !Operations.BoundNow) Refuse();
                return handle;
            }
        }

        // The refusals stay out of the reads' path, which the JIT then inlines.
        private void Refuse()
        {
            if (IsClosed) throw new ObjectDisposedException(GetType().Name);
            Plugin.EnsureBound();
        }

        // Each conversion ends with GC.KeepAlive(this): the finalizer must not release the object
        // while the native call that read it is still running. The member's name is only made for a failure.
        private protected T Value<T>(T value, int hr, [CallerMemberName] string member = "")
        {
            GC.KeepAlive(this);
            if (hr < 0) Fail(hr, member);
            return value;
        }

        private void Fail(int hr, string member) => throw VelmoraException.FromHResult(hr, GetType().Name + "." + member);

        private protected string Text(IntPtr text, int hr, [CallerMemberName] string member = "") => Records.Copy(Value(text, hr, member));

        private protected bool Flag(int value, int hr, [CallerMemberName] string member = "") => Value(value, hr, member) != 0;

        private protected DateTime Date(long ticks, int hr, [CallerMemberName] string member = "") => Records.ToDate(Value(ticks, hr, member));

    }

    /// <summary>
    /// A platform collection: its count is read once, indexes are checked before any native call,
    /// and every element read is a new object of its own (dispose each record element you read).
    /// </summary>
    public abstract unsafe class NativeListHandle<T> : VelmoraHandle, IReadOnlyList<T>
    {
        private int count = -1;

        private protected NativeListHandle(IntPtr handle) : base(handle) { }

        /// <summary>The number of elements.</summary>
        public int Count
        {
            get
            {
                int hr;
                if (count < 0) count = checked((int)Value(NativeLength(Live, &hr), hr, nameof(Count)));
                return count;
            }
        }

        /// <summary>The element at <paramref name="index"/>, read from the platform.</summary>
        public T this[int index]
        {
            get
            {
                if (unchecked((uint)index) >= (uint)Count)
                    throw new ArgumentOutOfRangeException(nameof(index), index, "the collection has " + Count + " elements");
                int hr;
                return Value(NativeGetAt(Live, unchecked((uint)index), &hr), hr, "Item");
            }
        }

        /// <inheritdoc/>
        public IEnumerator<T> GetEnumerator()
        {
            for (int i = 0; i < Count; i++) yield return this[i];
        }

        IEnumerator IEnumerable.GetEnumerator() { return GetEnumerator(); }

        private protected abstract uint NativeLength(IntPtr list, int* hr);

        private protected abstract T NativeGetAt(IntPtr list, uint index, int* hr);
    }
}
