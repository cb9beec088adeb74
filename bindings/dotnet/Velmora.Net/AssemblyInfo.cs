using System.Runtime.CompilerServices;

// The testing package tells the binding who is signed in on the emulator, for the errors of refused
// starts; the tests check the table of pending operations, which game code has no use for; the
// benchmark measures the binding's own reader of a delivered result.
[assembly: InternalsVisibleTo("Velmora.Net.Testing")]
[assembly: InternalsVisibleTo("Velmora.Net.Tests")]
[assembly: InternalsVisibleTo("Velmora.Net.Bench")]
