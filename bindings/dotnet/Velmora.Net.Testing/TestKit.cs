using System;
using System.Globalization;

namespace Velmora.Testing
{
    /// <summary>What made a transaction of the emulator's ledger. A receipt's <c>Source</c> attribute is its name.</summary>
    public enum TransactionSource
    {
        /// <summary>The purchase screen.</summary>
        Purchase = 0,
        /// <summary>The redeem-code screen.</summary>
        RedeemCode = 1,
        /// <summary>The subscription screen.</summary>
        Subscription = 2,
        /// <summary>A privilege check that bought the product resolving it.</summary>
        PrivilegeResolution = 3,
        /// <summary>A consumable's consumption.</summary>
        Consumption = 4,
        /// <summary><see cref="Emulator.Refund"/>.</summary>
        Refund = 5,
        /// <summary><see cref="Emulator.RaisePurchase"/>: a purchase made outside the game.</summary>
        Raised = 6,
    }

    /// <summary>How a transaction ended.</summary>
    public enum TransactionOutcome
    {
        /// <summary>The product entered the inventory, or the consumable's balance rose.</summary>
        Granted = 0,
        /// <summary>The consumable's balance went down.</summary>
        Consumed = 1,
        /// <summary>A refund: the grant <see cref="Transaction.RefundOf"/> names was taken back.</summary>
        Refunded = 2,
        /// <summary>The purchase notification was raised; nothing was granted.</summary>
        Notified = 3,
        /// <summary>The screen was cancelled, with <see cref="Transaction.HResult"/> as its error code.</summary>
        Canceled = 4,
        /// <summary>The screen failed with <see cref="Transaction.HResult"/>.</summary>
        Failed = 5,
    }

    /// <summary>One entry of the emulator's ledger (<see cref="Emulator.Transactions"/>): plain, immutable data.</summary>
    public sealed class Transaction
    {
        internal Transaction(ulong id, DateTime time, uint userId, string productId, uint quantity, TransactionSource source,
                             TransactionOutcome outcome, int hresult, string transactionId, ulong refundOf)
        {
            Id = id;
            Time = time;
            UserId = userId;
            ProductId = productId;
            Quantity = quantity;
            Source = source;
            Outcome = outcome;
            HResult = hresult;
            TransactionId = transactionId;
            RefundOf = refundOf;
        }

        /// <summary>The entry's number, from 1 after each reset.</summary>
        public ulong Id { get; }
        /// <summary>The emulator's clock when the entry was recorded, UTC.</summary>
        public DateTime Time { get; }
        /// <summary>The user who bought, consumed or was refunded.</summary>
        public uint UserId { get; }
        /// <summary>The product; "" when a failed screen named none (an offer nobody sells).</summary>
        public string ProductId { get; }
        /// <summary>What was granted, consumed or taken back; 1 for a durable; 0 for a screen that did not end well.</summary>
        public uint Quantity { get; }
        /// <summary>What made it.</summary>
        public TransactionSource Source { get; }
        /// <summary>How it ended.</summary>
        public TransactionOutcome Outcome { get; }
        /// <summary>A cancelled or failed screen's code; otherwise 0.</summary>
        public int HResult { get; }
        /// <summary>The receipt's transaction id, the game's own for a consumption, the refunded entry's for a refund; "" when there is none.</summary>
        public string TransactionId { get; }
        /// <summary>A refund: the id of the entry it took back; otherwise 0.</summary>
        public ulong RefundOf { get; }

        /// <summary>"#3 Refund 9NCLDTREASR3 x1 Refunded (of #1)".</summary>
        public override string ToString()
        {
            return "#" + Id.ToString(CultureInfo.InvariantCulture) + " " + Source + " " + ProductId + " x" + Quantity.ToString(CultureInfo.InvariantCulture) + " " + Outcome +
                   (RefundOf != 0 ? " (of #" + RefundOf.ToString(CultureInfo.InvariantCulture) + ")" : "");
        }
    }

    /// <summary>The kind of a store screen.</summary>
    public enum ScreenKind
    {
        /// <summary>The purchase screen.</summary>
        Purchase = 0,
        /// <summary>The redeem-code screen.</summary>
        RedeemCode = 1,
        /// <summary>The subscription screen.</summary>
        Subscription = 2,
        /// <summary>A product's details screen.</summary>
        Details = 3,
        /// <summary>The marketplace screen.</summary>
        Marketplace = 4,
    }

    /// <summary>How <see cref="Emulator.DecideScreen"/> ends an open screen.</summary>
    public enum ScreenDecision
    {
        /// <summary>The user goes through: the screen does what it does when it completes by itself (a purchase grants and notifies).</summary>
        Purchase = 0,
        /// <summary>The user backs out: the screen is cancelled with the given error code, nothing granted.</summary>
        Cancel = 1,
        /// <summary>The store fails: the screen fails with the given failure code, nothing granted.</summary>
        Fail = 2,
    }

    /// <summary>A store screen held open until a decision (<see cref="Emulator.OpenScreens"/>): plain, immutable data.</summary>
    public sealed class OpenScreen
    {
        internal OpenScreen(ulong id, uint userId, ScreenKind kind, string productId, string offer)
        {
            Id = id;
            UserId = userId;
            Kind = kind;
            ProductId = productId;
            Offer = offer;
        }

        /// <summary>The screen's number, from 1 after each reset: what <see cref="Emulator.DecideScreen"/> takes.</summary>
        public ulong Id { get; }
        /// <summary>The user the screen was opened for.</summary>
        public uint UserId { get; }
        /// <summary>Which screen.</summary>
        public ScreenKind Kind { get; }
        /// <summary>The product: the signed offer's (purchase), the code's (redeem code; "" for a code the store does not know), the argument (the others).</summary>
        public string ProductId { get; }
        /// <summary>The signed offer or code as the game gave it (purchase, redeem code); otherwise "".</summary>
        public string Offer { get; }

        /// <summary>"screen 1: Purchase of 9NCLDTREASR3 for user 1".</summary>
        public override string ToString()
        {
            return "screen " + Id.ToString(CultureInfo.InvariantCulture) + ": " + Kind + " of " + ProductId + " for user " + UserId.ToString(CultureInfo.InvariantCulture);
        }
    }
}
