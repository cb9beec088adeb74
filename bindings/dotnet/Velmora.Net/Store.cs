using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using Velmora.Interop;
using static Velmora.Interop.NativeMethods;

namespace Velmora
{
    /// <summary>
    /// The console store: its screens, privilege checks and purchase notifications. A screen's task
    /// completes when the screen closes, is cancelled (<see cref="TaskCanceledException"/>) when the
    /// user or the platform cancels it, and fails with <see cref="VelmoraException"/> on an error.
    /// </summary>
    public static class Store
    {
        /// <summary>Shows a product's details screen.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="productId"/> is null.</exception>
        /// <exception cref="VelmoraException">The screen did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task ShowDetailsAsync(uint userId, string productId)
        {
            Arguments.NotNull(productId, nameof(productId));
            var op = new ScreenOperation(nameof(Store_ShowDetailsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowDetailsAsync(userId, productId, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_ShowDetailsAsync));
        }

        /// <summary>Shows the marketplace, at one product when <paramref name="inputProductId"/> is not null, answering the kinds of product asked for.</summary>
        /// <exception cref="VelmoraException">The screen did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task ShowMarketplaceAsync(uint userId, ProductItemTypes inputTypes, string inputProductId, ProductItemTypes resultTypes)
        {
            var op = new ScreenOperation(nameof(Store_ShowMarketplaceAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowMarketplaceAsync(userId, (uint)inputTypes, inputProductId, (uint)resultTypes, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_ShowMarketplaceAsync));
        }

        /// <summary>Shows the purchase screen of a signed offer (<see cref="CatalogItemAvailability.SignedOffer"/>).</summary>
        /// <exception cref="ArgumentNullException"><paramref name="signedOffer"/> is null.</exception>
        /// <exception cref="VelmoraException">The screen did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task ShowPurchaseAsync(uint userId, string signedOffer)
        {
            Arguments.NotNull(signedOffer, nameof(signedOffer));
            var op = new ScreenOperation(nameof(Store_ShowPurchaseAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowPurchaseAsync(userId, signedOffer, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_ShowPurchaseAsync));
        }

        /// <summary>Shows the code redemption screen, prefilled with <paramref name="code"/> when it is not null.</summary>
        /// <exception cref="VelmoraException">The screen did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task ShowRedeemCodeAsync(uint userId, string code)
        {
            var op = new ScreenOperation(nameof(Store_ShowRedeemCodeAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowRedeemCodeAsync(userId, code, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_ShowRedeemCodeAsync));
        }

        /// <summary>Shows the subscription screen of a product that grants a privilege.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="productId"/> is null.</exception>
        /// <exception cref="VelmoraException">The screen did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task ShowSubscriptionAsync(uint userId, string productId, uint privilegeId)
        {
            Arguments.NotNull(productId, nameof(productId));
            var op = new ScreenOperation(nameof(Store_ShowSubscriptionAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowSubscriptionAsync(userId, productId, privilegeId, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_ShowSubscriptionAsync));
        }

        /// <summary>
        /// Checks one privilege; with <paramref name="attemptResolution"/> the platform may resolve an
        /// issue (by a purchase, say). The platform answers a cancelled check as
        /// <see cref="PrivilegeCheckResult.NoIssue"/>, which cannot be told apart from a real one: gate
        /// paid content on the user's inventory, not on this answer alone.
        /// </summary>
        /// <exception cref="VelmoraException">The check did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<PrivilegeCheckResult> CheckPrivilegeAsync(uint userId, uint privilegeId, bool attemptResolution, string friendlyDisplay)
        {
            var op = new PrivilegeOperation(nameof(Store_CheckPrivilegeAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_CheckPrivilegeAsync(userId, privilegeId, attemptResolution ? 1u : 0u, friendlyDisplay, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_CheckPrivilegeAsync));
        }

        /// <summary>
        /// Checks several privileges at once: the answer combines their flags. A cancelled check answers
        /// <see cref="PrivilegeCheckResult.NoIssue"/>, as <see cref="CheckPrivilegeAsync"/> says.
        /// </summary>
        /// <exception cref="ArgumentNullException"><paramref name="privilegeIds"/> is null.</exception>
        /// <exception cref="ArgumentException"><paramref name="privilegeIds"/> is empty.</exception>
        /// <exception cref="VelmoraException">The check did not start; <see cref="VelmoraException.StartFailure"/> says why.</exception>
        public static Task<PrivilegeCheckResult> CheckPrivilegesAsync(uint userId, IReadOnlyList<uint> privilegeIds, bool attemptResolution, string friendlyDisplay)
        {
            uint[] ids = Arguments.NotEmpty(privilegeIds, nameof(privilegeIds), "privilege");
            var op = new PrivilegeOperation(nameof(Store_CheckPrivilegesAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_CheckPrivilegesAsync(userId, ids, ids.Length, attemptResolution ? 1u : 0u, friendlyDisplay, Operations.ValueCallback, key), key, op.Task, userId, nameof(Store_CheckPrivilegesAsync));
        }

        /// <summary>
        /// A purchase was made, in the game or outside it. Handlers run on the host's delivering thread,
        /// in subscription order, with arguments read whole before the first one: keep them, read them
        /// after an await or on another thread. Subscribing needs a bound plugin; unbinding removes every handler.
        /// </summary>
        public static event Action<ProductPurchasedEventArgs> ProductPurchased
        {
            add { Notifications.Purchase.Add(value); }
            remove { Notifications.Purchase.Remove(value); }
        }
    }

    /// <summary>What a purchase notification carries, read whole when the host delivered it.</summary>
    public sealed class ProductPurchasedEventArgs
    {
        private ProductPurchasedEventArgs(string receipt) { Receipt = receipt; }

        /// <summary>The purchase's receipt text.</summary>
        public string Receipt { get; }

        internal static readonly Func<IntPtr, ProductPurchasedEventArgs> Take = p => Records.Owned(p, q => Read(q), Disposers.ProductPurchasedEventArgs);

        private static unsafe ProductPurchasedEventArgs Read(IntPtr p)
        {
            int hr;
            return new ProductPurchasedEventArgs(Records.Text(VelmoraChecked_ProductPurchasedEventArgs_Receipt(p, &hr), hr, "ProductPurchasedEventArgs.Receipt"));
        }
    }
}
