using System;
using System.Collections.Generic;
using System.Globalization;
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
    /// faults, scripted outcomes, notifications and live counts, and a test session's controls: the
    /// ledger of every transaction, refunds, the clock, store screens held open until the test decides
    /// them, and the world saved as a scenario. docs/scenario.md gives the format of scenarios and the
    /// names of calls. Every refusal names what was wrong and changes nothing: a scenario that does
    /// not load raises <see cref="FormatException"/> (the file, the JSON path and the problem), any
    /// other bad argument <see cref="ArgumentException"/> naming the argument (an unknown call name
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

        /// <summary>Buys a catalog product for a signed-in user as a purchase made outside the game would (the console's dashboard, another device): on a platform thread the product is granted, the ledger records a Purchase and the purchase notification is raised. A durable the user owns already changes nothing. <see cref="WaitIdle"/> waits for it.</summary>
        /// <exception cref="ArgumentException">No signed-in user has the id, or the product is not in the catalog; nothing happens.</exception>
        public static void Buy(uint userId, string productId, uint quantity = 1) { Check(velmora_emulator_buy(userId, Utf8.Bytes(productId ?? throw new ArgumentNullException(nameof(productId))), quantity), nameof(productId)); }

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

        // ---- the ledger and refunds

        /// <summary>The emulator's ledger, oldest first: every purchase, redemption, subscription, privilege resolution, consumption, refund and raised purchase, and every purchase, redeem-code or subscription screen that was cancelled or failed. It keeps the newest 10,000 entries; a reset empties it.</summary>
        public static IReadOnlyList<Transaction> Transactions
        {
            get
            {
                return ReadList<NativeTransaction, Transaction>(velmora_emulator_transactions, (t, texts) => new Transaction(
                    t.Id, FromUnixMicroseconds(t.TimeUs), t.UserId, Text(texts, t.ProductIdOffset, t.ProductIdLength), t.Quantity,
                    (TransactionSource)t.Source, (TransactionOutcome)t.Outcome, t.HResult,
                    Text(texts, t.TransactionIdOffset, t.TransactionIdLength), t.RefundOf));
            }
        }

        /// <summary>How many older entries the ledger dropped since the last reset (it keeps the newest 10,000).</summary>
        public static ulong TransactionsDropped => velmora_emulator_transactions_dropped();

        /// <summary>Takes back what a transaction granted: a durable leaves the user's inventory; a consumable's balance goes down by what the transaction granted, never below 0. The next inventory query shows it.</summary>
        /// <returns>The refund's own ledger entry.</returns>
        /// <exception cref="ArgumentException">The ledger holds no such entry, the entry granted nothing (a refund, a consumption, a raised purchase, a cancelled or failed screen), it was refunded already, or the user no longer owns the durable; nothing changes.</exception>
        public static Transaction Refund(ulong transactionId)
        {
            Check(velmora_emulator_refund(transactionId, out ulong refund), nameof(transactionId));
            foreach (Transaction t in Transactions)
                if (t.Id == refund) return t;
            throw new InvalidOperationException("the refund's entry " + refund.ToString(CultureInfo.InvariantCulture) + " left the ledger at once");
        }

        // ---- the clock

        /// <summary>The emulator's time now, UTC: what grants, subscription periods and ledger entries are dated with. Real time until <see cref="SetClock"/> or <see cref="AdvanceClock"/> fixes it.</summary>
        public static DateTime Now => FromUnixMicroseconds(velmora_emulator_clock_now_us());

        /// <summary>True while the clock is fixed, false while it runs real time.</summary>
        public static bool ClockIsFixed => velmora_emulator_clock_is_fixed() != 0;

        /// <summary>Fixes the clock at a time (a local time is converted, any other is taken as UTC), where it stays until it is set or advanced again. While the clock runs real time any time from 1601 on is taken; once it is fixed, it does not go back.</summary>
        /// <exception cref="ArgumentException">The time is earlier than the fixed clock, or before 1601; the clock is as it was.</exception>
        public static void SetClock(DateTime time)
        {
            DateTime utc = time.Kind == DateTimeKind.Local ? time.ToUniversalTime() : DateTime.SpecifyKind(time, DateTimeKind.Utc);
            Check(velmora_emulator_set_clock_us(ToUnixMicroseconds(utc)), nameof(time));
        }

        /// <summary>Moves the clock forwards (fixing it at the real time first when it runs real time): a subscription whose end it passes reads Expired in the next inventory query. Time below a microsecond is dropped.</summary>
        /// <exception cref="ArgumentException">The amount is negative, or passes the year 9999; the clock is as it was.</exception>
        public static void AdvanceClock(TimeSpan by) { Check(velmora_emulator_advance_clock_us(by.Ticks / 10), nameof(by)); }

        /// <summary>Lets the clock run real time again (a reset does this too).</summary>
        public static void UseRealTime() { velmora_emulator_use_real_time(); }

        // ---- store screens that wait for a decision

        /// <summary>While holding, every store screen a game opens whose outcome is not scripted otherwise stays open, its task pending while the game pumps, until <see cref="DecideScreen"/>. Turning it off leaves open screens open; a reset stops holding and cancels them.</summary>
        public static void HoldScreens(bool hold = true) { velmora_emulator_hold_screens(hold ? 1 : 0); }

        /// <summary>True while store screens are held.</summary>
        public static bool HoldingScreens => velmora_emulator_holding_screens() != 0;

        /// <summary>The store screens open now, oldest first.</summary>
        public static IReadOnlyList<OpenScreen> OpenScreens
        {
            get
            {
                return ReadList<NativeOpenScreen, OpenScreen>(velmora_emulator_open_screens, (o, texts) => new OpenScreen(
                    o.Id, o.UserId, (ScreenKind)o.Kind, Text(texts, o.ProductIdOffset, o.ProductIdLength), Text(texts, o.OfferOffset, o.OfferLength)));
            }
        }

        /// <summary>Ends an open screen exactly as the scripted outcome of the same kind would: the grant, the purchase notification and the ledger entry follow, then the screen's task ends when the host delivers it.</summary>
        /// <param name="screenId">An <see cref="OpenScreen.Id"/>.</param>
        /// <param name="decision">Purchase, Cancel or Fail.</param>
        /// <param name="hr">Cancel: the screen's error code (any); Fail: a failure code (high bit set); Purchase: 0.</param>
        /// <exception cref="ArgumentException">No such screen is open (<paramref name="screenId"/>), or the code does not fit the decision (<paramref name="hr"/>); nothing changes.</exception>
        /// <exception cref="ArgumentOutOfRangeException">The decision is not one of <see cref="ScreenDecision"/>'s values.</exception>
        public static void DecideScreen(ulong screenId, ScreenDecision decision, int hr = 0)
        {
            Arguments.Defined(decision, nameof(decision));
            bool codeMisfits = decision == ScreenDecision.Fail ? hr >= 0 : decision == ScreenDecision.Purchase && hr != 0;
            Check(velmora_emulator_decide_screen(screenId, (int)decision, hr), codeMisfits ? nameof(hr) : nameof(screenId));
        }

        // ---- the world saved

        /// <summary>Writes the emulator's current state (users, catalog, inventories and balances, privileges, redeemed codes, packages, the clock, the ledger, faults and scripts in force) as a scenario file that <see cref="LoadScenarioFile"/> loads back into the same world. Save while nothing is pending (after <see cref="WaitIdle"/>).</summary>
        /// <exception cref="ArgumentException">The file cannot be written (nothing is written then), or the world holds what a scenario cannot.</exception>
        public static void SaveWorld(string path) { Check(velmora_emulator_save_world(Utf8.Bytes(path ?? throw new ArgumentNullException(nameof(path)))), nameof(path)); }

        // ---- the control page

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

        private static readonly DateTime UnixEpoch = new DateTime(1970, 1, 1, 0, 0, 0, DateTimeKind.Utc);

        private static DateTime FromUnixMicroseconds(long us) { return UnixEpoch.AddTicks(us * 10); }

        private static long ToUnixMicroseconds(DateTime utc)
        {
            long ticks = utc.Ticks - UnixEpoch.Ticks;
            return ticks / 10 - (ticks % 10 < 0 ? 1 : 0);  // rounded down
        }

        private static string Text(byte[] texts, int offset, int length) { return Encoding.UTF8.GetString(texts, offset, length); }

        private delegate int CountAndCopy<TNative>(TNative[] records, int capacity, byte[] texts, int textsCapacity, out int textsSize);

        // A list the C interface copies whole or not at all: asks for the sizes, then copies; a list
        // that grew in between is asked for again.
        private static IReadOnlyList<T> ReadList<TNative, T>(CountAndCopy<TNative> copy, Func<TNative, byte[], T> make)
        {
            while (true)
            {
                int count = copy(null, 0, null, 0, out int textsSize);
                if (count < 0) throw new InvalidOperationException(Utf8.Text(velmora_emulator_last_error()));
                var records = new TNative[count];
                var texts = new byte[textsSize];
                if (copy(records, count, texts, textsSize, out int copiedSize) != count || copiedSize != textsSize) continue;
                var list = new T[count];
                for (int i = 0; i < count; i++) list[i] = make(records[i], texts);
                return Array.AsReadOnly(list);
            }
        }

        // The C interface's structs (emulator/c_interface/c_api.h), field for field.
        [StructLayout(LayoutKind.Sequential)]
        private struct NativeTransaction
        {
            public ulong Id;
            public long TimeUs;
            public ulong RefundOf;
            public uint UserId;
            public uint Quantity;
            public int Source;
            public int Outcome;
            public int HResult;
            public int ProductIdOffset;
            public int ProductIdLength;
            public int TransactionIdOffset;
            public int TransactionIdLength;
            public int Reserved;
        }

        [StructLayout(LayoutKind.Sequential)]
        private struct NativeOpenScreen
        {
            public ulong Id;
            public uint UserId;
            public int Kind;
            public int ProductIdOffset;
            public int ProductIdLength;
            public int OfferOffset;
            public int OfferLength;
        }

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
        private static extern int velmora_emulator_buy(uint userId, byte[] productId, uint quantity);
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
        private static extern int velmora_emulator_transactions([In, Out] NativeTransaction[] entries, int capacity, [In, Out] byte[] texts, int textsCapacity, out int textsSize);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern ulong velmora_emulator_transactions_dropped();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_refund(ulong transactionId, out ulong refundId);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern long velmora_emulator_clock_now_us();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_clock_is_fixed();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_set_clock_us(long unixUs);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_advance_clock_us(long us);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_use_real_time();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern void velmora_emulator_hold_screens(int hold);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_holding_screens();
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_open_screens([In, Out] NativeOpenScreen[] screens, int capacity, [In, Out] byte[] texts, int textsCapacity, out int textsSize);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_decide_screen(ulong screenId, int decision, int hr);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int velmora_emulator_save_world(byte[] path);
        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern IntPtr velmora_emulator_last_error();
#pragma warning restore IDE1006
    }
}
