using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Text;

namespace Velmora.Demo
{
    /// <summary>What a step should end with (<c>expect</c>, in every step but <c>dlc</c>).</summary>
    internal sealed class StepExpectation
    {
        public bool Started { get; set; } = true;
        public int HResult { get; set; }
        public uint? Status { get; set; }
        public bool? NullResult { get; set; }
    }

    internal sealed class BrowseStep
    {
        public string ParentId { get; set; }
        public int ParentMediaType { get; set; } = (int)MediaItemType.Game;
        public int ChildMediaType { get; set; } = (int)MediaItemType.All;
        public int SortOrder { get; set; } = (int)CatalogSortOrder.FreeAndPaidCountDaily;
        public uint Skip { get; set; }
        public uint Max { get; set; } = 25;
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class DetailsStep
    {
        public List<string> ProductIds { get; } = new List<string>();
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class InventoryStep
    {
        public int MediaItemType { get; set; } = (int)Velmora.MediaItemType.All;
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class PurchaseStep
    {
        public string ProductId { get; set; }
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class ConsumeStep
    {
        public string ProductId { get; set; }
        public uint Quantity { get; set; } = 1;
        public string TransactionId { get; set; } = "walkthrough-consume-1";
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class PrivilegeStep
    {
        public uint PrivilegeId { get; set; }
        public bool AttemptResolution { get; set; }
        public uint ExpectedResult { get; set; }
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class DlcStep
    {
        public int Filter { get; set; } = (int)DownloadableContentPackageFilter.AllDownloadableContentOnly;

        /// <summary>The package to install, as the scenario writes it (JSON), or null.</summary>
        public string InstallJson { get; set; }
        public string InstallPackageFullName { get; set; }
        public string ReadFile { get; set; }
    }

    /// <summary>
    /// The scenario's <c>walkthrough</c> section (docs/scenario.md), with its defaults: what the demo
    /// does, step by step, as one user. Absent steps are null.
    /// </summary>
    internal sealed class Walkthrough
    {
        public uint UserId { get; set; }
        public BrowseStep Browse { get; set; }
        public DetailsStep Details { get; set; }
        public InventoryStep Inventory { get; set; }
        public PurchaseStep Purchase { get; set; }
        public ConsumeStep Consume { get; set; }
        public PrivilegeStep Privilege { get; set; }
        public DlcStep Dlc { get; set; }

        /// <summary>
        /// The walkthrough of a scenario file the emulator has loaded already (and so checked), or null
        /// when the scenario has none. A problem raises <see cref="FormatException"/> naming the file
        /// and the JSON path.
        /// </summary>
        public static Walkthrough Read(string file, string shownName)
        {
            try
            {
                JsonValue w = JsonValue.Parse(File.ReadAllText(file, new UTF8Encoding(false)))["walkthrough"];
                return w == null ? null : From(w);
            }
            catch (FormatException e)
            {
                throw new FormatException(shownName + ": " + e.Message, e);
            }
        }

        private static Walkthrough From(JsonValue w)
        {
            var walkthrough = new Walkthrough { UserId = Unsigned(Required(w, "userId")) };
            JsonValue s;
            if ((s = w["browse"]) != null)
            {
                var step = new BrowseStep { ParentId = Required(s, "parentId").String };
                step.ParentMediaType = Enumeration<MediaItemType>(s["parentMediaType"], step.ParentMediaType);
                step.ChildMediaType = Enumeration<MediaItemType>(s["childMediaType"], step.ChildMediaType);
                step.SortOrder = Enumeration<CatalogSortOrder>(s["sortOrder"], step.SortOrder);
                step.Skip = Unsigned(s["skip"], step.Skip);
                step.Max = Unsigned(s["max"], step.Max);
                step.Expect = Expectation(s["expect"]);
                walkthrough.Browse = step;
            }
            if ((s = w["details"]) != null)
            {
                var step = new DetailsStep { Expect = Expectation(s["expect"]) };
                foreach (JsonValue id in Required(s, "productIds").Elements) step.ProductIds.Add(id.String);
                walkthrough.Details = step;
            }
            if ((s = w["inventory"]) != null)
            {
                var step = new InventoryStep { Expect = Expectation(s["expect"]) };
                step.MediaItemType = Enumeration<MediaItemType>(s["mediaItemType"], step.MediaItemType);
                walkthrough.Inventory = step;
            }
            if ((s = w["purchase"]) != null)
            {
                walkthrough.Purchase = new PurchaseStep { ProductId = Required(s, "productId").String, Expect = Expectation(s["expect"]) };
            }
            if ((s = w["consume"]) != null)
            {
                var step = new ConsumeStep { ProductId = Required(s, "productId").String, Expect = Expectation(s["expect"]) };
                step.Quantity = Unsigned(s["quantity"], step.Quantity);
                if (s["transactionId"] != null) step.TransactionId = s["transactionId"].String;
                walkthrough.Consume = step;
            }
            if ((s = w["privilege"]) != null)
            {
                var step = new PrivilegeStep { PrivilegeId = Unsigned(Required(s, "privilegeId")), Expect = Expectation(s["expect"]) };
                if (s["attemptResolution"] != null) step.AttemptResolution = s["attemptResolution"].Boolean;
                if (s["expectedResult"] != null) step.ExpectedResult = Flags(s["expectedResult"]);
                walkthrough.Privilege = step;
            }
            if ((s = w["dlc"]) != null)
            {
                var step = new DlcStep();
                step.Filter = Enumeration<DownloadableContentPackageFilter>(s["filter"], step.Filter);
                JsonValue install = s["install"];
                if (install != null)
                {
                    step.InstallJson = install.Source;
                    step.InstallPackageFullName = Required(install, "packageFullName").String;
                }
                if (s["readFile"] != null) step.ReadFile = s["readFile"].String;
                walkthrough.Dlc = step;
            }
            return walkthrough;
        }

        private static StepExpectation Expectation(JsonValue e)
        {
            var expect = new StepExpectation();
            if (e == null) return expect;
            if (e["started"] != null) expect.Started = e["started"].Boolean;
            if (e["hresult"] != null) expect.HResult = HResult(e["hresult"]);
            if (e["status"] != null) expect.Status = Unsigned(e["status"]);
            if (e["nullResult"] != null) expect.NullResult = e["nullResult"].Boolean;
            return expect;
        }

        private static JsonValue Required(JsonValue o, string key)
        {
            JsonValue v = o[key];
            if (v == null) throw new FormatException(o.Path + "." + key + ": required key is missing");
            return v;
        }

        private static uint Unsigned(JsonValue v, uint absent)
        {
            return v == null ? absent : Unsigned(v);
        }

        private static uint Unsigned(JsonValue v)
        {
            if (!uint.TryParse(v.NumberText, NumberStyles.None, CultureInfo.InvariantCulture, out uint value))
                throw v.Problem("expected an integer from 0 to 4294967295");
            return value;
        }

        // A name of the enumeration, or any 32-bit number.
        private static int Enumeration<T>(JsonValue v, int absent) where T : struct
        {
            if (v == null) return absent;
            if (v.IsString)
            {
                if (Enum.IsDefined(typeof(T), v.String)) return Convert.ToInt32(Enum.Parse(typeof(T), v.String), CultureInfo.InvariantCulture);
                throw v.Problem("unknown " + typeof(T).Name + " \"" + v.String + "\"");
            }
            if (int.TryParse(v.NumberText, NumberStyles.AllowLeadingSign, CultureInfo.InvariantCulture, out int number)) return number;
            return unchecked((int)Unsigned(v));
        }

        // PrivilegeCheckResult flags: a list of names, one name, or a number.
        private static uint Flags(JsonValue v)
        {
            if (v.Kind == JsonKind.Number) return Unsigned(v);
            IReadOnlyList<JsonValue> names = v.IsString ? new[] { v } : v.Elements;
            uint flags = 0;
            foreach (JsonValue name in names)
            {
                if (!Enum.IsDefined(typeof(PrivilegeCheckResult), name.String))
                    throw name.Problem("unknown PrivilegeCheckResult \"" + name.String + "\"");
                flags |= (uint)(PrivilegeCheckResult)Enum.Parse(typeof(PrivilegeCheckResult), name.String);
            }
            return flags;
        }

        // "0x80070005", or an integer from -2147483648 to 4294967295.
        private static int HResult(JsonValue v)
        {
            if (v.IsString)
            {
                string text = v.String;
                if (text.Length > 2 && text.Length <= 10 && (text.StartsWith("0x", StringComparison.Ordinal) || text.StartsWith("0X", StringComparison.Ordinal)) &&
                    uint.TryParse(text.Substring(2), NumberStyles.AllowHexSpecifier, CultureInfo.InvariantCulture, out uint code))
                    return unchecked((int)code);
                throw v.Problem("\"" + text + "\" is not an HRESULT");
            }
            if (long.TryParse(v.NumberText, NumberStyles.AllowLeadingSign, CultureInfo.InvariantCulture, out long number) &&
                number >= int.MinValue && number <= uint.MaxValue)
                return unchecked((int)number);
            throw v.Problem("expected an HRESULT");
        }
    }
}
