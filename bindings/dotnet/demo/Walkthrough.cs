using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Text.Json;
using System.Text.Json.Serialization;

namespace Velmora.Demo
{
    /// <summary>What a step should end with (<c>expect</c>, in every step but <c>dlc</c>).</summary>
    internal sealed class StepExpectation
    {
        public bool Started { get; set; } = true;

        [JsonPropertyName("hresult")]
        [JsonConverter(typeof(HResultConverter))]
        public int HResult { get; set; }

        public uint? Status { get; set; }
        public bool? NullResult { get; set; }
    }

    internal sealed class BrowseStep
    {
        [JsonRequired] public string ParentId { get; set; }
        public MediaItemType ParentMediaType { get; set; } = MediaItemType.Game;
        public MediaItemType ChildMediaType { get; set; } = MediaItemType.All;
        public CatalogSortOrder SortOrder { get; set; } = CatalogSortOrder.FreeAndPaidCountDaily;
        public uint Skip { get; set; }
        public uint Max { get; set; } = 25;
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class DetailsStep
    {
        [JsonRequired] public List<string> ProductIds { get; set; }
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class InventoryStep
    {
        public MediaItemType MediaItemType { get; set; } = MediaItemType.All;
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class PurchaseStep
    {
        [JsonRequired] public string ProductId { get; set; }
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class ConsumeStep
    {
        [JsonRequired] public string ProductId { get; set; }
        public uint Quantity { get; set; } = 1;
        public string TransactionId { get; set; } = "walkthrough-consume-1";
        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    /// <summary>Refunds the newest grant of the product to the walkthrough's user, then looks at the inventory.</summary>
    internal sealed class RefundStep
    {
        [JsonRequired] public string ProductId { get; set; }
    }

    /// <summary>Advances the emulator's clock, then reads the user's item of the product in any state.</summary>
    internal sealed class ClockStep
    {
        [JsonRequired] public double AdvanceDays { get; set; }
        public string ProductId { get; set; }
        public InventoryItemState? ExpectedState { get; set; }

        /// <summary>The advance as the emulator takes it: whole microseconds, rounded as velmora-demo rounds them.</summary>
        public TimeSpan Advance => TimeSpan.FromTicks((long)Math.Round(AdvanceDays * 86400e6, MidpointRounding.AwayFromZero) * 10);
    }

    internal sealed class PrivilegeStep
    {
        [JsonRequired] public uint PrivilegeId { get; set; }
        public bool AttemptResolution { get; set; }

        [JsonConverter(typeof(PrivilegeFlagsConverter))]
        public PrivilegeCheckResult ExpectedResult { get; set; }

        public StepExpectation Expect { get; set; } = new StepExpectation();
    }

    internal sealed class DlcStep
    {
        public DownloadableContentPackageFilter Filter { get; set; } = DownloadableContentPackageFilter.AllDownloadableContentOnly;

        /// <summary>The package to install, as the scenario writes it (the emulator takes its JSON text), or null.</summary>
        public JsonElement? Install { get; set; }

        public string ReadFile { get; set; }

        public string InstallJson => Install?.GetRawText();

        public string InstallPackageFullName => Install?.GetProperty("packageFullName").GetString();
    }

    /// <summary>
    /// The scenario's <c>walkthrough</c> section (docs/scenario.md), with its defaults: what the demo
    /// does, step by step, as one user. Absent steps are null.
    /// </summary>
    internal sealed class Walkthrough
    {
        [JsonRequired] public uint UserId { get; set; }
        public BrowseStep Browse { get; set; }
        public DetailsStep Details { get; set; }
        public InventoryStep Inventory { get; set; }
        public PurchaseStep Purchase { get; set; }
        public ConsumeStep Consume { get; set; }
        public RefundStep Refund { get; set; }
        public PrivilegeStep Privilege { get; set; }
        public ClockStep Clock { get; set; }
        public DlcStep Dlc { get; set; }

        // The scenario's other sections are the emulator's, which has read them already.
        private sealed class Scenario
        {
            public Walkthrough Walkthrough { get; set; }
        }

        private static readonly JsonSerializerOptions Options = new JsonSerializerOptions
        {
            PropertyNamingPolicy = JsonNamingPolicy.CamelCase,
            // Enumerations by name, or any number (a walkthrough may pass a value that does not exist).
            Converters = { new JsonStringEnumConverter() },
        };

        /// <summary>
        /// The walkthrough of a scenario file the emulator has loaded already (and so checked), or null
        /// when the scenario has none. A problem raises <see cref="FormatException"/> naming the file
        /// and the JSON path.
        /// </summary>
        public static Walkthrough Read(string file, string shownName)
        {
            try
            {
                return JsonSerializer.Deserialize<Scenario>(File.ReadAllBytes(file), Options)?.Walkthrough;
            }
            catch (JsonException e)
            {
                bool pathShown = e.Path == null || e.Message.Contains(e.Path);
                throw new FormatException(shownName + ": " + (pathShown ? "" : e.Path + ": ") + e.Message, e);
            }
        }
    }

    /// <summary>An HRESULT: <c>"0x80070005"</c>, or an integer from -2147483648 to 4294967295.</summary>
    internal sealed class HResultConverter : JsonConverter<int>
    {
        public override int Read(ref Utf8JsonReader reader, Type typeToConvert, JsonSerializerOptions options)
        {
            if (reader.TokenType == JsonTokenType.String)
            {
                string text = reader.GetString();
                string digits = text.Length > 2 && text.Length <= 10 && text.StartsWith("0x", StringComparison.OrdinalIgnoreCase) ? text.Substring(2) : "";
                // HexNumber would also take spaces around the digits.
                if (digits.Trim() == digits && uint.TryParse(digits, NumberStyles.HexNumber, CultureInfo.InvariantCulture, out uint code))
                    return unchecked((int)code);
                throw new JsonException("\"" + text + "\" is not an HRESULT");
            }
            if (reader.TokenType == JsonTokenType.Number && reader.TryGetInt64(out long number) && number >= int.MinValue && number <= uint.MaxValue)
                return unchecked((int)number);
            throw new JsonException("expected an HRESULT: \"0x80070005\" or an integer from -2147483648 to 4294967295");
        }

        public override void Write(Utf8JsonWriter writer, int value, JsonSerializerOptions options)
        {
            writer.WriteStringValue("0x" + unchecked((uint)value).ToString("X8", CultureInfo.InvariantCulture));
        }
    }

    /// <summary>PrivilegeCheckResult flags: a list of names, one name, or a number.</summary>
    internal sealed class PrivilegeFlagsConverter : JsonConverter<PrivilegeCheckResult>
    {
        public override PrivilegeCheckResult Read(ref Utf8JsonReader reader, Type typeToConvert, JsonSerializerOptions options)
        {
            if (reader.TokenType == JsonTokenType.Number) return (PrivilegeCheckResult)reader.GetUInt32();
            if (reader.TokenType == JsonTokenType.String) return Flag(reader.GetString());
            if (reader.TokenType != JsonTokenType.StartArray) throw new JsonException("expected PrivilegeCheckResult flags: a list of names, one name, or a number");
            PrivilegeCheckResult flags = PrivilegeCheckResult.NoIssue;
            while (reader.Read() && reader.TokenType != JsonTokenType.EndArray)
            {
                if (reader.TokenType != JsonTokenType.String) throw new JsonException("expected the name of a PrivilegeCheckResult flag");
                flags |= Flag(reader.GetString());
            }
            return flags;
        }

        private static PrivilegeCheckResult Flag(string name)
        {
            if (!Enum.IsDefined(typeof(PrivilegeCheckResult), name)) throw new JsonException("unknown PrivilegeCheckResult \"" + name + "\"");
            return (PrivilegeCheckResult)Enum.Parse(typeof(PrivilegeCheckResult), name);
        }

        public override void Write(Utf8JsonWriter writer, PrivilegeCheckResult value, JsonSerializerOptions options)
        {
            writer.WriteNumberValue((uint)value);
        }
    }
}
