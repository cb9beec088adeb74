using System;
using System.Globalization;
using System.IO;
using System.Text;

namespace Velmora.Demo
{
    /// <summary>
    /// The demo's transcript, in the C++ demo's layout: numbered, aligned steps, each with its lines
    /// and a verdict against what the scenario expects.
    /// </summary>
    internal sealed class Transcript
    {
        private readonly TextWriter output;
        private int step;
        private bool stepHeaderPending;
        private string stepName = "";

        public Transcript(TextWriter output) { this.output = output; }

        public int Mismatches { get; private set; }

        public bool AllAsExpected => Mismatches == 0;

        public void Title(string text)
        {
            output.Write(text);
            output.Write("\n\n");
        }

        /// <summary>Starts a numbered step.</summary>
        public void Step(string name)
        {
            step++;
            stepName = name;
            stepHeaderPending = true;
        }

        /// <summary>A line of the current step.</summary>
        public void Line(string text) { Print("", text); }

        /// <summary>An indented detail line.</summary>
        public void Detail(string text) { Print("  ", text); }

        /// <summary>Records whether a step behaved as the scenario says; a mismatch prints why.</summary>
        public void Check(bool ok, string what)
        {
            if (ok) return;
            Mismatches++;
            Print("!! ", "not as the scenario says: " + what);
        }

        private void Print(string prefix, string text)
        {
            string head;
            if (stepHeaderPending)
            {
                head = string.Format(CultureInfo.InvariantCulture, "{0,2} {1,-11}", step, stepName);
                stepHeaderPending = false;
            }
            else
            {
                head = new string(' ', 14);
            }
            output.Write(head + " " + prefix + text + "\n");
            output.Flush();
        }

        /// <summary>"0x80070005 (E_ACCESSDENIED)"</summary>
        public static string HResultText(int hr)
        {
            string text = "0x" + unchecked((uint)hr).ToString("X8", CultureInfo.InvariantCulture);
            string name = HResultName(unchecked((uint)hr));
            return name == null ? text : text + " (" + name + ")";
        }

        private static string HResultName(uint hr)
        {
            switch (hr)
            {
                case 0x00000000: return "S_OK";
                case 0x80070005: return "E_ACCESSDENIED";
                case 0x80070057: return "E_INVALIDARG";
                case 0x8000000B: return "E_BOUNDS";
                case 0x80004005: return "E_FAIL";
                case 0x80004004: return "E_ABORT";
                case 0x80040154: return "REGDB_E_CLASSNOTREG";
                case 0x8007000E: return "E_OUTOFMEMORY";
                case 0x80070490: return "E_NOT_FOUND";
                case 0x800704C7: return "ERROR_CANCELLED";
                case 0x80190199: return "balance too low";
                case 0x87E10BC6: return "package not licensed";
                case 0x803F6107: return "offer not available";
                default: return null;
            }
        }

        /// <summary>
        /// Pads or cuts the text to <paramref name="width"/> terminal columns, counting wide East Asian
        /// characters and emoji as two columns and combining marks as none, then adds one space.
        /// </summary>
        public static string Pad(string text, int width)
        {
            text = text ?? "";
            var result = new StringBuilder();
            int columns = 0;
            for (int i = 0; i < text.Length; i++)
            {
                int c = text[i];
                bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < text.Length;
                if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                int w = Columns(c);
                if (columns + w > width - 1 && i + 1 + (pair ? 1 : 0) < text.Length)
                {
                    result.Append('\u2026');
                    columns++;
                    break;
                }
                columns += w;
                result.Append(text[i]);
                if (pair) result.Append(text[++i]);
            }
            return result.Append(' ', Math.Max(0, width - columns)).Append(' ').ToString();
        }

        private static int Columns(int c)
        {
            if ((c >= 0x0300 && c < 0x0370) || c == 0x200D || (c >= 0xFE00 && c < 0xFE10)) return 0;
            if ((c >= 0x1100 && c < 0x1160) || (c >= 0x2E80 && c < 0xA4D0) || (c >= 0xAC00 && c < 0xD7A4) ||
                (c >= 0xF900 && c < 0xFB00) || (c >= 0xFF00 && c < 0xFF61) || (c >= 0x1F300 && c < 0x1FB00))
                return 2;
            return 1;
        }
    }
}
