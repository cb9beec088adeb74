using System;

namespace Velmora
{
    /// <summary>
    /// A failure of the platform or the plugin: an operation that failed, an accessor whose platform
    /// call failed, or an export that refused to start. <see cref="Exception.HResult"/> carries the
    /// platform's HRESULT and <see cref="Kind"/> the name of the platform exception kind it stands for.
    /// </summary>
    public sealed class VelmoraException : Exception
    {
        /// <summary>E_FAIL: the HRESULT of a failure the plugin reports without one.</summary>
        public const int UnspecifiedFailure = unchecked((int)0x80004005);

        internal VelmoraException(string message, int hr, string kind) : base(message)
        {
            HResult = hr;
            Kind = kind;
        }

        /// <summary>
        /// The platform exception kind ("AccessDeniedException", "COMException", ...), or null when the
        /// plugin answered a refusal without an HRESULT (an operation that was not started).
        /// </summary>
        public string Kind { get; }

        /// <summary>E_ILLEGAL_METHOD_CALL: what the checked exports answer before they are bound to the plugin.</summary>
        private const int NotBound = unchecked((int)0x8000000E);

        internal static VelmoraException FromHResult(int hr, string operation)
        {
            string kind = NativeMethods.KindName(hr);
            string hint = hr == NotBound ? " (if the plugin is loaded: Plugin.Bind was not called for it)" : "";
            return new VelmoraException(
                string.Format("{0} failed: Platform::{1} (0x{2:X8}){3}", operation, kind, hr, hint), hr, kind);
        }

        internal static VelmoraException NotStarted(string export)
        {
            return new VelmoraException(
                export + " did not start: the user id does not resolve to a signed-in user, or the platform refused the call",
                UnspecifiedFailure, null);
        }

        internal static VelmoraException Refused(string export, string what)
        {
            return new VelmoraException(export + " failed: " + what, UnspecifiedFailure, null);
        }
    }
}
