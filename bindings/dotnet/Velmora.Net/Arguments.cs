using System;
using System.Collections.Generic;

namespace Velmora
{
    /// <summary>The checks every argument passes in managed code, before any native call.</summary>
    internal static class Arguments
    {
        internal static void NotNull(object value, string name)
        {
            if (value == null) throw new ArgumentNullException(name);
        }

        /// <summary>A value of an enumeration that is not one of its named values is refused (a cast such as (MediaItemType)99).</summary>
        internal static void Defined<T>(T value, string name) where T : struct
        {
            if (!Enum.IsDefined(typeof(T), value))
                throw new ArgumentOutOfRangeException(name, value, "not a value of " + typeof(T).Name + ": use one of " + string.Join(", ", Enum.GetNames(typeof(T))));
        }

        /// <summary>A list of ids: not null, not empty, no null element; copied, so a later change by the caller changes nothing.</summary>
        internal static T[] NotEmpty<T>(IReadOnlyList<T> ids, string name, string what)
        {
            if (ids == null) throw new ArgumentNullException(name);
            if (ids.Count == 0) throw new ArgumentException("the list of " + what + " ids is empty: name at least one", name);
            var copy = new T[ids.Count];
            for (int i = 0; i < copy.Length; i++)
            {
                copy[i] = ids[i];
                if (copy[i] == null) throw new ArgumentNullException(name, "the " + what + " id at index " + i + " is null");
            }
            return copy;
        }
    }
}
