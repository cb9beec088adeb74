using System;
using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace Velmora.Demo
{
    internal enum JsonKind { Null, Boolean, Number, String, Array, Object }

    /// <summary>
    /// A value of a JSON document, with the JSON path that leads to it and its own text. The emulator
    /// has checked the whole scenario before the demo reads it, so this reader only needs to read
    /// well-formed JSON; it still refuses anything else with the path of the problem.
    /// </summary>
    internal sealed class JsonValue
    {
        private readonly string document;
        private readonly int start;
        private readonly int end;
        private readonly string text;
        private readonly double number;
        private readonly List<KeyValuePair<string, JsonValue>> members;
        private readonly List<JsonValue> elements;

        private JsonValue(JsonKind kind, string path, string document, int start, int end, string text, double number,
                          List<KeyValuePair<string, JsonValue>> members, List<JsonValue> elements)
        {
            Kind = kind;
            Path = path;
            this.document = document;
            this.start = start;
            this.end = end;
            this.text = text;
            this.number = number;
            this.members = members;
            this.elements = elements;
        }

        public JsonKind Kind { get; }

        /// <summary>Where the value is, as the emulator's messages write it: <c>$.walkthrough.browse.max</c>.</summary>
        public string Path { get; }

        /// <summary>The value's own text in the document.</summary>
        public string Source => document.Substring(start, end - start);

        public bool IsString => Kind == JsonKind.String;

        public string String => Kind == JsonKind.String ? text : throw Problem("expected a string");

        /// <summary>The number's source text, as written.</summary>
        public string NumberText => Kind == JsonKind.Number ? text : throw Problem("expected a number");

        public double Number => Kind == JsonKind.Number ? number : throw Problem("expected a number");

        public bool Boolean => Kind == JsonKind.Boolean ? text == "true" : throw Problem("expected a boolean");

        public IReadOnlyList<JsonValue> Elements => Kind == JsonKind.Array ? elements : throw Problem("expected an array");

        /// <summary>The member of an object, or null when the object has none of that name.</summary>
        public JsonValue this[string key]
        {
            get
            {
                if (Kind != JsonKind.Object) throw Problem("expected an object");
                foreach (KeyValuePair<string, JsonValue> member in members)
                    if (member.Key == key) return member.Value;
                return null;
            }
        }

        public FormatException Problem(string what) { return new FormatException(Path + ": " + what); }

        public static JsonValue Parse(string document)
        {
            var reader = new Reader(document);
            JsonValue value = reader.Value("$");
            reader.SkipSpace();
            if (!reader.AtEnd) throw reader.Problem("$", "text after the document");
            return value;
        }

        private sealed class Reader
        {
            private readonly string s;
            private int i;

            public Reader(string s) { this.s = s; }

            public bool AtEnd => i >= s.Length;

            public FormatException Problem(string path, string what)
            {
                return new FormatException(path + ": " + what + " at offset " + i.ToString(CultureInfo.InvariantCulture));
            }

            public void SkipSpace()
            {
                while (i < s.Length && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) i++;
            }

            public JsonValue Value(string path)
            {
                SkipSpace();
                if (AtEnd) throw Problem(path, "a value is missing");
                int start = i;
                switch (s[i])
                {
                    case '{': return Object(path, start);
                    case '[': return Array(path, start);
                    case '"':
                        string text = StringText(path);
                        return new JsonValue(JsonKind.String, path, s, start, i, text, 0, null, null);
                    case 't': return Word("true", JsonKind.Boolean, path);
                    case 'f': return Word("false", JsonKind.Boolean, path);
                    case 'n': return Word("null", JsonKind.Null, path);
                    default: return NumberValue(path);
                }
            }

            private JsonValue Object(string path, int start)
            {
                var members = new List<KeyValuePair<string, JsonValue>>();
                i++;
                SkipSpace();
                if (i < s.Length && s[i] == '}')
                {
                    i++;
                    return new JsonValue(JsonKind.Object, path, s, start, i, null, 0, members, null);
                }
                while (true)
                {
                    SkipSpace();
                    if (AtEnd || s[i] != '"') throw Problem(path, "expected a member name");
                    string key = StringText(path);
                    SkipSpace();
                    if (AtEnd || s[i] != ':') throw Problem(path, "expected ':'");
                    i++;
                    members.Add(new KeyValuePair<string, JsonValue>(key, Value(MemberPath(path, key))));
                    SkipSpace();
                    if (AtEnd) throw Problem(path, "the object does not end");
                    if (s[i] == ',') { i++; continue; }
                    if (s[i] == '}') { i++; break; }
                    throw Problem(path, "expected ',' or '}'");
                }
                return new JsonValue(JsonKind.Object, path, s, start, i, null, 0, members, null);
            }

            private JsonValue Array(string path, int start)
            {
                var elements = new List<JsonValue>();
                i++;
                SkipSpace();
                if (i < s.Length && s[i] == ']')
                {
                    i++;
                    return new JsonValue(JsonKind.Array, path, s, start, i, null, 0, null, elements);
                }
                while (true)
                {
                    elements.Add(Value(path + "[" + elements.Count.ToString(CultureInfo.InvariantCulture) + "]"));
                    SkipSpace();
                    if (AtEnd) throw Problem(path, "the array does not end");
                    if (s[i] == ',') { i++; continue; }
                    if (s[i] == ']') { i++; break; }
                    throw Problem(path, "expected ',' or ']'");
                }
                return new JsonValue(JsonKind.Array, path, s, start, i, null, 0, null, elements);
            }

            private static string MemberPath(string path, string key)
            {
                bool word = key.Length > 0 && !char.IsDigit(key[0]);
                foreach (char c in key) word &= c < 128 && (char.IsLetterOrDigit(c) || c == '_' || c == '$');
                return word ? path + "." + key : path + "[\"" + key + "\"]";
            }

            private JsonValue Word(string word, JsonKind kind, string path)
            {
                if (string.CompareOrdinal(s, i, word, 0, word.Length) != 0) throw Problem(path, "not a JSON value");
                int start = i;
                i += word.Length;
                return new JsonValue(kind, path, s, start, i, word, 0, null, null);
            }

            private JsonValue NumberValue(string path)
            {
                int start = i;
                while (i < s.Length && "+-0123456789.eE".IndexOf(s[i]) >= 0) i++;
                string text = s.Substring(start, i - start);
                if (!double.TryParse(text, NumberStyles.Float, CultureInfo.InvariantCulture, out double number))
                    throw Problem(path, "not a JSON value");
                return new JsonValue(JsonKind.Number, path, s, start, i, text, number, null, null);
            }

            private string StringText(string path)
            {
                var text = new StringBuilder();
                i++;
                while (true)
                {
                    if (AtEnd) throw Problem(path, "the string does not end");
                    char c = s[i++];
                    if (c == '"') return text.ToString();
                    if (c != '\\')
                    {
                        text.Append(c);
                        continue;
                    }
                    if (AtEnd) throw Problem(path, "the string does not end");
                    char e = s[i++];
                    switch (e)
                    {
                        case '"': text.Append('"'); break;
                        case '\\': text.Append('\\'); break;
                        case '/': text.Append('/'); break;
                        case 'b': text.Append('\b'); break;
                        case 'f': text.Append('\f'); break;
                        case 'n': text.Append('\n'); break;
                        case 'r': text.Append('\r'); break;
                        case 't': text.Append('\t'); break;
                        case 'u':
                            if (i + 4 > s.Length ||
                                !int.TryParse(s.Substring(i, 4), NumberStyles.AllowHexSpecifier, CultureInfo.InvariantCulture, out int unit))
                                throw Problem(path, "a bad \\u escape");
                            text.Append((char)unit);
                            i += 4;
                            break;
                        default: throw Problem(path, "a bad escape");
                    }
                }
            }
        }
    }
}
