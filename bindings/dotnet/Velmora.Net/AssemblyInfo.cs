using System.Runtime.CompilerServices;

// The tests check the table of pending operations, which game code has no use for.
[assembly: InternalsVisibleTo("Velmora.Net.Tests")]
