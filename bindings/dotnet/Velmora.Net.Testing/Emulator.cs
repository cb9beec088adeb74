using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Velmora.Testing
{
    /// <summary>How a started platform operation ends, as <see cref="Emulator.ScriptOutcome"/> scripts it.</summary>
    public enum OutcomeKind
    {
        /// <summary>The call's work runs on a platform thread after the delay.</summary>
        Complete = 0,
        /// <summary>The operation has finished before it is handed out.</summary>
        CompleteSynchronously = 1,
        /// <summary>The operation fails with the HRESULT.</summary>
        Fail = 2,
        /// <summary>The operation is cancelled (an action reports the HRESULT as its error code).</summary>
        Cancel = 3,
        /// <summary>The operation succeeds with no result.</summary>
        NullResult = 4,
        /// <summary>The starting call itself answers the HRESULT: nothing starts.</summary>
        FailStart = 5,
        /// <summary>The starting call succeeds but hands out no operation.</summary>
        NullOperation = 6,
    }

    /// <summary>
    /// The emulated console services, for testing store and DLC flows without a console: scenarios,
    /// faults, scripted outcomes, notifications and live counts. docs/scenario.md gives the format of
    /// scenarios and the names of calls. Every refusal names what was wrong and changes nothing: a
    /// scenario that does not load raises <see cref="FormatException"/> (the file, the JSON path and
    /// the problem), any other bad argument <see cref="ArgumentException"/> (an unknown call name
    /// with the closest names the emulator knows).
    /// </summary>
    public static class Emulator
    {
        private const string Library = "velmora_emulator";

        // Managed code keeps its plugin loaded for the process and subscribes to the platform's
        // events once, so the emulator's resets must keep those subscriptions.
        static Emulator() { velmora_emulator_set_reset_keeps_subscriptions(1); }

        /// <summary>The folder of the scenarios this package ships (default.json, faults.json and their schema, scenario.schema.json), next to the program.</summary>
        public static string ScenariosDirectory => Path.Combine(AppContext.BaseDirectory, "scenarios");

        /// <summary>Resets the emulator and applies the built-in scenario: the one <c>scenarios/default.json</c> holds.</summary>
        public static void LoadDefaultScenario() { Check(velmora_emulator_load_default_scenario(), null); }

        /// <summary>Resets the emulator and applies a scenario file; a bad file raises an error naming the file, the JSON path and what was expected.</summary>
        /// <exception cref="FormatException">The file is missing, does not parse, or does not apply; the emulator is as it was.</exception>
        public static void LoadScenarioFile(string path) { Check(velmora_emulator_load_scenario_file(Utf8.Bytes(path ?? throw new ArgumentNullException(nameof(path)))), null); }

        /// <summary>Resets the emulator and applies scenario text; <paramref name="name"/> stands for the file in messages.</summary>
        /// <exception cref="FormatException">The text does not parse or does not apply; the emulator is as it was.</exception>
        public static void LoadScenarioJson(string json, string name = null) { Check(velmora_emulator_load_scenario_json(Utf8.Bytes(json ?? throw new ArgumentNullException(nameof(json))), Utf8.Bytes(name)), null); }

        /// <summary>Resets the emulator to empty.</summary>
        public static void Reset() { velmora_emulator_reset(); }

        /// <summary>Makes the named platform call ("IInventoryItem.get_ProductId") answer hr, for the next <paramref name="times"/> calls or, when negative, every call.</summary>
        /// <exception cref="ArgumentException">The emulator never makes such a call (the message names the closest calls it makes), hr is 0, or times is 0.</exception>
        public static void InjectFault(string call, int hr, int times = -1) { Check(velmora_emulator_inject_fault(Utf8.Bytes(call ?? throw new ArgumentNullException(nameof(call))), hr, times), nameof(call)); }

        /// <summary>Removes every injected fault.</summary>
        public static void ClearFaults() { velmora_emulator_clear_faults(); }

        /// <summary>Scripts how the next <paramref name="times"/> starts of the named call ("IInventoryService.GetInventoryItemAsync") end.</summary>
        /// <exception cref="ArgumentException">The emulator never makes such a call (the message names the closest calls it makes), or the kind, delay or times is out of range.</exception>
        public static void ScriptOutcome(string call, OutcomeKind kind, int hr = 0, TimeSpan? delay = null, int times = 1)
        {
            if (call == null) throw new ArgumentNullException(nameof(call));
            Arguments.Defined(kind, nameof(kind));
            long delayUs = delay.HasValue ? delay.Value.Ticks / 10 : -1;
            Check(velmora_emulator_script_outcome(Utf8.Bytes(call), (int)kind, hr, delayUs, times), nameof(call));
        }

        /// <summary>Removes every scripted outcome.</summary>
        public static void ClearScripts() { velmora_emulator_clear_scripts(); }

        /// <summary>The delay before an operation that no script delays completes.</summary>
        /// <exception cref="ArgumentException">The delay is negative or over one hour.</exception>
        public static void SetDefaultDelay(TimeSpan delay) { Check(velmora_emulator_set_default_delay(delay.Ticks / 10), nameof(delay)); }

        /// <summary>Raises the purchase notification for a signed-in user, as a purchase outside the game would.</summary>
        /// <exception cref="ArgumentException">No signed-in user has the id.</exception>
        public static void RaisePurchase(uint userId, string productId, uint quantity = 1) { Check(velmora_emulator_raise_purchase(userId, Utf8.Bytes(productId ?? throw new ArgumentNullException(nameof(productId))), quantity), nameof(userId)); }

        /// <summary>Installs a package (one package as a scenario lists it, as JSON) on a platform thread, then raises the install-completed notifications.</summary>
        /// <exception cref="ArgumentException">The package's JSON is not a package.</exception>
        public static void CompleteInstallation(string packageJson, InstallOperationType operation = InstallOperationType.Install)
        {
            Check(velmora_emulator_complete_installation(Utf8.Bytes(packageJson ?? throw new ArgumentNullException(nameof(packageJson))), (int)operation), nameof(packageJson));
        }

        /// <summary>Waits until no emulated work is pending.</summary>
        public static void WaitIdle() { velmora_emulator_wait_idle(); }

        /// <summary>Emulator objects alive now.</summary>
        public static long LiveObjects => velmora_emulator_live_objects();

        /// <summary>Platform strings alive now.</summary>
        public static long LiveStrings => velmora_emulator_live_strings();

        /// <summary>The ids of the users signed in now, in the scenario's order.</summary>
        public static IReadOnlyList<uint> SignedInUsers
        {
            get
            {
                var ids = new uint[velmora_emulator_signed_in_users(null, 0)];
                int written = velmora_emulator_signed_in_users(ids, ids.Length);
                if (written < ids.Length) Array.Resize(ref ids, written);  // a scenario loaded in between
                return Array.AsReadOnly(ids);
            }
        }

        /// <summary>
        /// Starts the emulator's control page: a web page and a JSON interface on 127.0.0.1 through which a
        /// person (or a tool) sees the users, inventories and packages and steers the emulator while the game
        /// runs (docs/control-page.md). Every request needs the random access token made now; the address
        /// answered carries it, and is also printed once on the standard error. A reset keeps the page
        /// running; <see cref="StopControlPage"/> or the process's end stops it. The environment variable
        /// VELMORA_CONTROL_PORT starts it without code.
        /// </summary>
        /// <param name="port">The port on 127.0.0.1, or 0 for a free one the system picks.</param>
        /// <returns>The page's address with its token: "http://127.0.0.1:8080/?token=..." .</returns>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="port"/> is outside 0 to 65535.</exception>
        /// <exception cref="InvalidOperationException">The page runs already, or the port cannot be bound.</exception>
        public static string StartControlPage(int port = 0)
        {
            if (port < 0 || port > 65535) throw new ArgumentOutOfRangeException(nameof(port), port, "a port from 0 (any free port) to 65535");
            if (velmora_emulator_start_control_page(port) == 0) throw new InvalidOperationException(Utf8.Text(velmora_emulator_last_error()));
            return ControlPageAddress;
        }

        /// <summary>The running control page's address with its token, or null when none runs.</summary>
        public static string ControlPageAddress
        {
            get
            {
                for (;;)
                {
                    int length = velmora_emulator_control_page_address(null, 0);
                    if (length == 0) return null;
                    var buffer = new byte[length + 1];
                    // The page may have been stopped and started again in between: measure again then.
                    if (velmora_emulator_control_page_address(buffer, buffer.Length) == length)
                        return Encoding.UTF8.GetString(buffer, 0, length);
                }
            }
        }

        /// <summary>Stops the control page: no new connection is accepted and the requests in progress finish. Nothing happens when none runs.</summary>
        public static void StopControlPage() { velmora_emulator_stop_control_page(); }

        /// <summary>Lets a refused start say whether its user is signed in.</summary>
        internal static void TellTheBindingWhoIsSignedIn() { VelmoraException.SignedInUsers = () => SignedInUsers; }

        private static void Check(int ok, string argument)
        {
            if (ok != 0) return;
            string message = Utf8.Text(velmora_emulator_last_error());
            if (argument == null) throw new FormatException(message);
            throw new ArgumentException(message, argument);
        }

#pragma warning disable IDE1006 // the C interface's own names
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_load_default_scenario();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_load_scenario_file(byte[] path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_load_scenario_json(byte[] json, byte[] name);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_set_reset_keeps_subscriptions(int keep);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_reset();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_inject_fault(byte[] call, int hr, int times);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_clear_faults();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_script_outcome(byte[] call, int kind, int hr, long delayUs, int times);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_clear_scripts();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_set_default_delay(long delayUs);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_raise_purchase(uint userId, byte[] productId, uint quantity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_complete_installation(byte[] packageJson, int operation);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_wait_idle();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern long velmora_emulator_live_objects();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern long velmora_emulator_live_strings();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_signed_in_users(uint[] ids, int capacity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_start_control_page(int port);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_control_page_address(byte[] buffer, int capacity);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_stop_control_page();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern IntPtr velmora_emulator_last_error();
#pragma warning restore IDE1006
    }
}
