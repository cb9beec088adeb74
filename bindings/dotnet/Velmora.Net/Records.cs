using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;
using System.Runtime.InteropServices;
using Velmora.Interop;

namespace Velmora
{
    /// <summary>
    /// The conversion rules from the plugin's exports to plain managed data, one routine per rule. Every
    /// read goes through a checked export, whose HRESULT a failing platform call leaves; a reference
    /// taken for a read is given back before the routine returns, whatever happens.
    /// </summary>
    internal static unsafe class Records
    {
        internal unsafe delegate uint LengthExport(IntPtr list, int* hr);
        internal unsafe delegate IntPtr GetAtExport(IntPtr list, uint index, int* hr);
        internal delegate void DisposeExport(IntPtr handle);

        /// <summary>The exports of one platform collection; Dispose is null for a collection that is its record.</summary>
        internal sealed class Collection
        {
            internal Collection(LengthExport length, GetAtExport getAt, DisposeExport dispose)
            {
                Length = length;
                GetAt = getAt;
                Dispose = dispose;
            }

            internal LengthExport Length { get; }
            internal GetAtExport GetAt { get; }
            internal DisposeExport Dispose { get; }
        }

        internal static readonly Func<IntPtr, string> CopyText = text => Copy(text);

        internal static T Value<T>(T value, int hr, string member)
        {
            if (hr < 0) throw VelmoraException.FromHResult(hr, member);
            return value;
        }

        /// <summary>A borrowed text, copied; the platform's empty or absent string is "".</summary>
        internal static string Text(IntPtr text, int hr, string member)
        {
            if (hr < 0) throw VelmoraException.FromHResult(hr, member);
            return Copy(text);
        }

        internal static string Copy(IntPtr text)
        {
            return text == IntPtr.Zero ? string.Empty : Marshal.PtrToStringUni(text);
        }

        /// <summary>The plugin answers 1 for the platform's true and 0 for any other byte.</summary>
        internal static bool Flag(int value, int hr, string member)
        {
            return Value(value, hr, member) != 0;
        }

        /// <summary>Managed ticks (100 ns since 0001-01-01) as UTC; beyond DateTime's range, its bound, UTC too.</summary>
        internal static DateTime Date(long ticks, int hr, string member) => ToDate(Value(ticks, hr, member));

        internal static DateTime ToDate(long ticks)
        {
            if (ticks <= 0) return MinDate;
            return ticks >= DateTime.MaxValue.Ticks ? MaxDate : new DateTime(ticks, DateTimeKind.Utc);
        }

        private static readonly DateTime MinDate = DateTime.SpecifyKind(DateTime.MinValue, DateTimeKind.Utc);
        private static readonly DateTime MaxDate = DateTime.SpecifyKind(DateTime.MaxValue, DateTimeKind.Utc);

        /// <summary>Reads an object that carries one reference for the reader, then gives the reference back.</summary>
        internal static T Owned<T>(IntPtr handle, Func<IntPtr, T> read, DisposeExport dispose) where T : class
        {
            if (handle == IntPtr.Zero) return null;
            try
            {
                return read(handle);
            }
            finally
            {
                dispose(handle);
            }
        }

        /// <summary>
        /// Every element of a platform collection, read whole: <paramref name="element"/> takes what
        /// the element export answered (a new reference, or a borrowed text) and makes the managed value.
        /// </summary>
        internal static IReadOnlyList<T> Elements<T>(IntPtr list, Collection collection, Func<IntPtr, T> element, string member)
        {
            int hr;
            uint count = Value(collection.Length(list, &hr), hr, member);
            if (count == 0) return Empty<T>.List;
            var elements = new T[count];
            for (uint i = 0; i < count; i++)
            {
                IntPtr e = collection.GetAt(list, i, &hr);
                elements[i] = element(Value(e, hr, member));
            }
            return new ReadOnlyCollection<T>(elements);
        }

        /// <summary>The elements of a collection that a property answered as an object of its own.</summary>
        internal static IReadOnlyList<T> OwnedElements<T>(IntPtr list, int hr, string member, Collection collection, Func<IntPtr, T> element)
        {
            Value(list, hr, member);
            if (list == IntPtr.Zero) return Empty<T>.List;
            try
            {
                return Elements(list, collection, element, member);
            }
            finally
            {
                collection.Dispose(list);
            }
        }

        private static class Empty<T>
        {
            internal static readonly IReadOnlyList<T> List = new ReadOnlyCollection<T>(new T[0]);
        }
    }
}
