using System;
using System.Collections.Generic;
using System.Linq;
using Velmora.Interop;

namespace Velmora
{
    /// <summary>Why an operation did not start (the plugin answers only that it did not).</summary>
    public enum StartFailure
    {
        /// <summary>The exception is not about a start: the operation started and failed later, or a read failed.</summary>
        None = 0,
        /// <summary>The plugin is bound, but no host has loaded it: it has no event queue and no user manager.</summary>
        PluginNotLoaded = 1,
        /// <summary>The user id is not a signed-in user's (the emulator told the binding who is signed in).</summary>
        UserNotSignedIn = 2,
        /// <summary>The user is signed in, so the platform refused the call (the emulator told the binding who is signed in).</summary>
        PlatformRefused = 3,
        /// <summary>Either the user is not signed in or the platform refused the call: without the emulator the binding cannot tell which.</summary>
        UserNotSignedInOrPlatformRefused = 4,
    }

    /// <summary>
    /// A failure of the platform or the plugin: an operation that failed, a read whose platform call
    /// failed, or an operation that did not start. The message names the HRESULT and what it means;
    /// <see cref="Exception.HResult"/> carries it, <see cref="HResultName"/> its name and
    /// <see cref="Kind"/> the platform exception kind it stands for.
    /// </summary>
    public sealed class VelmoraException : Exception
    {
        internal VelmoraException(string message, int hr, string kind, StartFailure startFailure = StartFailure.None) : base(message)
        {
            HResult = hr;
            Kind = kind;
            StartFailure = startFailure;
        }

        /// <summary>
        /// The platform exception kind ("AccessDeniedException", "COMException", ...), or null when the
        /// failure is the binding's finding rather than a platform exception (a start that was refused).
        /// </summary>
        public string Kind { get; }

        /// <summary>The HRESULT's name ("E_ACCESSDENIED", ...; see <see cref="HResults"/>), or null for a code the binding does not know.</summary>
        public string HResultName => HResults.NameOf(HResult);

        /// <summary>Why an operation did not start, or <see cref="Velmora.StartFailure.None"/>.</summary>
        public StartFailure StartFailure { get; }

        internal static VelmoraException FromHResult(int hr, string operation)
        {
            string kind = NativeMethods.KindName(hr);
            string hint = hr == HResults.IllegalMethodCall ? " (if the plugin is loaded: Plugin.Bind was not called for it)" : "";
            return new VelmoraException(operation + " failed: " + HResults.Describe(hr) + ", raised as Platform::" + kind + hint, hr, kind);
        }

        /// <summary>Who signed in, when something (the emulator) can tell: the ids, or null when unknown.</summary>
        internal static Func<IReadOnlyList<uint>> SignedInUsers;

        internal static VelmoraException NotStarted(string export, uint userId)
        {
            string did = export + " did not start: ";
            if (!NativeMethods.AmFullyInitialized())
                return new VelmoraException(did + "the plugin is bound but no host has loaded it (HaldenPluginLoad was not called): load it through the host first", HResults.Fail, null, StartFailure.PluginNotLoaded);
            IReadOnlyList<uint> users = SignedInUsers?.Invoke();
            if (users == null)
                return new VelmoraException(did + "user " + userId + " is not signed in, or the platform refused the call", HResults.Fail, null, StartFailure.UserNotSignedInOrPlatformRefused);
            if (!users.Contains(userId))
                return new VelmoraException(did + "user " + userId + " is not signed in; " + (users.Count == 0
                    ? "no user is: load a scenario with users (Emulator.LoadDefaultScenario(), say)"
                    : "signed in: " + string.Join(", ", users)), HResults.Fail, null, StartFailure.UserNotSignedIn);
            return new VelmoraException(did + "the platform refused the call (user " + userId + " is signed in): a fault or a scripted outcome of the emulator, or the service", HResults.Fail, null, StartFailure.PlatformRefused);
        }

        internal static VelmoraException Refused(string export, string what)
        {
            return new VelmoraException(export + " failed: " + what, HResults.Fail, null);
        }
    }

    /// <summary>The HRESULTs the platform, the plugin and the emulator answer, by name.</summary>
    public static class HResults
    {
        /// <summary>E_BOUNDS: an index past the end of a collection.</summary>
        public const int Bounds = unchecked((int)0x8000000B);
        /// <summary>E_ILLEGAL_METHOD_CALL: a call the object's state does not allow.</summary>
        public const int IllegalMethodCall = unchecked((int)0x8000000E);
        /// <summary>E_NOTIMPL: not implemented.</summary>
        public const int NotImplemented = unchecked((int)0x80004001);
        /// <summary>E_ABORT: the operation was aborted (a cancelled store screen's error code).</summary>
        public const int Abort = unchecked((int)0x80004004);
        /// <summary>E_FAIL: an unspecified failure.</summary>
        public const int Fail = unchecked((int)0x80004005);
        /// <summary>E_ACCESSDENIED: access denied.</summary>
        public const int AccessDenied = unchecked((int)0x80070005);
        /// <summary>E_OUTOFMEMORY: out of memory.</summary>
        public const int OutOfMemory = unchecked((int)0x8007000E);
        /// <summary>E_INVALIDARG: an argument the platform refuses.</summary>
        public const int InvalidArgument = unchecked((int)0x80070057);
        /// <summary>E_NOT_FOUND: no such element (HRESULT_FROM_WIN32(ERROR_NOT_FOUND)).</summary>
        public const int NotFound = unchecked((int)0x80070490);
        /// <summary>HTTP_E_STATUS_CONFLICT: the service answered 409 (a consumption the balance does not cover).</summary>
        public const int Conflict = unchecked((int)0x80190199);
        /// <summary>The store's code for an offer that is not for sale (not in the catalog, or not purchasable).</summary>
        public const int OfferNotAvailable = unchecked((int)0x803F6107);
        /// <summary>The console's code for a package the user holds no licence for.</summary>
        public const int PackageNotLicensed = unchecked((int)0x87E10BC6);

        private static readonly Dictionary<int, KeyValuePair<string, string>> Known = new Dictionary<int, KeyValuePair<string, string>>
        {
            [0] = Pair("S_OK", "success"),
            [1] = Pair("S_FALSE", "success"),
            [Bounds] = Pair("E_BOUNDS", "an index past the end of a collection"),
            [unchecked((int)0x8000000C)] = Pair("E_CHANGED_STATE", "the collection changed"),
            [IllegalMethodCall] = Pair("E_ILLEGAL_METHOD_CALL", "a call the object's state does not allow"),
            [unchecked((int)0x80000013)] = Pair("RO_E_CLOSED", "the object was closed"),
            [unchecked((int)0x80000018)] = Pair("E_ILLEGAL_DELEGATE_ASSIGNMENT", "a second handler for a one-handler event"),
            [NotImplemented] = Pair("E_NOTIMPL", "not implemented"),
            [unchecked((int)0x80004002)] = Pair("E_NOINTERFACE", "the object lacks the interface"),
            [unchecked((int)0x80004003)] = Pair("E_POINTER", "a null pointer"),
            [Abort] = Pair("E_ABORT", "the operation was aborted"),
            [Fail] = Pair("E_FAIL", "an unspecified failure"),
            [unchecked((int)0x8000FFFF)] = Pair("E_UNEXPECTED", "an unexpected failure inside the plugin"),
            [unchecked((int)0x80010108)] = Pair("RPC_E_DISCONNECTED", "the object's server disconnected"),
            [unchecked((int)0x8001010E)] = Pair("RPC_E_WRONG_THREAD", "called on the wrong thread"),
            [unchecked((int)0x80040154)] = Pair("REGDB_E_CLASSNOTREG", "the platform class is not registered"),
            [AccessDenied] = Pair("E_ACCESSDENIED", "access denied"),
            [OutOfMemory] = Pair("E_OUTOFMEMORY", "out of memory"),
            [InvalidArgument] = Pair("E_INVALIDARG", "an argument the platform refuses"),
            [NotFound] = Pair("E_NOT_FOUND", "no such element"),
            [Conflict] = Pair("HTTP_E_STATUS_CONFLICT", "the service answered 409 Conflict: the balance does not cover the consumption"),
            [OfferNotAvailable] = Pair("STORE_E_OFFER_NOT_AVAILABLE", "the offer is not for sale: not in the catalog, or not purchasable"),
            [PackageNotLicensed] = Pair("E_PACKAGE_NOT_LICENSED", "the user holds no licence for the package"),
        };

        private static KeyValuePair<string, string> Pair(string name, string meaning) => new KeyValuePair<string, string>(name, meaning);

        /// <summary>The name of an HRESULT ("E_ACCESSDENIED"), or null for a code not listed here.</summary>
        public static string NameOf(int hr) => Known.TryGetValue(hr, out KeyValuePair<string, string> known) ? known.Key : null;

        /// <summary>"E_ACCESSDENIED (0x80070005): access denied"; a code not listed here is its hexadecimal form alone.</summary>
        public static string Describe(int hr)
        {
            string hex = string.Format("0x{0:X8}", hr);
            return Known.TryGetValue(hr, out KeyValuePair<string, string> known) ? known.Key + " (" + hex + "): " + known.Value : hex;
        }
    }
}
