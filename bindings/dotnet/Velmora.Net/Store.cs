using System;
using System.Collections.Generic;
using System.Threading.Tasks;
using static Velmora.NativeMethods;

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
        public static Task ShowDetailsAsync(uint userId, string productId)
        {
            var op = new ScreenOperation(nameof(Store_ShowDetailsAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowDetailsAsync(userId, productId, Operations.ValueCallback, key), key, op.Task, nameof(Store_ShowDetailsAsync));
        }

        /// <summary>Shows the marketplace, optionally at one product, answering the kinds of product asked for.</summary>
        public static Task ShowMarketplaceAsync(uint userId, ProductItemTypes inputTypes, string inputProductId, ProductItemTypes resultTypes)
        {
            var op = new ScreenOperation(nameof(Store_ShowMarketplaceAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowMarketplaceAsync(userId, (uint)inputTypes, inputProductId, (uint)resultTypes, Operations.ValueCallback, key), key, op.Task, nameof(Store_ShowMarketplaceAsync));
        }

        /// <summary>Shows the purchase screen of a signed offer.</summary>
        public static Task ShowPurchaseAsync(uint userId, string offer)
        {
            var op = new ScreenOperation(nameof(Store_ShowPurchaseAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowPurchaseAsync(userId, offer, Operations.ValueCallback, key), key, op.Task, nameof(Store_ShowPurchaseAsync));
        }

        /// <summary>Shows the code redemption screen, prefilled with a code when one is given.</summary>
        public static Task ShowRedeemCodeAsync(uint userId, string offer)
        {
            var op = new ScreenOperation(nameof(Store_ShowRedeemCodeAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowRedeemCodeAsync(userId, offer, Operations.ValueCallback, key), key, op.Task, nameof(Store_ShowRedeemCodeAsync));
        }

        /// <summary>Shows the subscription screen of a product that grants a privilege.</summary>
        public static Task ShowSubscriptionAsync(uint userId, string productId, uint privilegeId)
        {
            var op = new ScreenOperation(nameof(Store_ShowSubscriptionAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_ShowSubscriptionAsync(userId, productId, privilegeId, Operations.ValueCallback, key), key, op.Task, nameof(Store_ShowSubscriptionAsync));
        }

        /// <summary>Checks one privilege; with attemptResolution the platform may resolve an issue (by a purchase, say). A cancelled check answers NoIssue.</summary>
        public static Task<PrivilegeCheckResult> CheckPrivilegeAsync(uint userId, uint privilegeId, bool attemptResolution, string friendlyDisplay)
        {
            var op = new PrivilegeOperation(nameof(Store_CheckPrivilegeAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_CheckPrivilegeAsync(userId, privilegeId, attemptResolution ? 1u : 0u, friendlyDisplay, Operations.ValueCallback, key), key, op.Task, nameof(Store_CheckPrivilegeAsync));
        }

        /// <summary>Checks several privileges at once: the answer combines their flags.</summary>
        public static Task<PrivilegeCheckResult> CheckPrivilegesAsync(uint userId, IReadOnlyList<uint> privilegeIds, bool attemptResolution, string friendlyDisplay)
        {
            if (privilegeIds == null) throw new ArgumentNullException(nameof(privilegeIds));
            var ids = new uint[privilegeIds.Count];
            for (int i = 0; i < ids.Length; i++) ids[i] = privilegeIds[i];
            var op = new PrivilegeOperation(nameof(Store_CheckPrivilegesAsync));
            IntPtr key = Operations.Add(op);
            return Operations.Started(Store_CheckPrivilegesAsync(userId, ids, ids.Length, attemptResolution ? 1u : 0u, friendlyDisplay, Operations.ValueCallback, key), key, op.Task, nameof(Store_CheckPrivilegesAsync));
        }

        /// <summary>
        /// A purchase was made, in the game or outside it. Handlers run on the host's delivering thread;
        /// the arguments are disposed when the last handler returns.
        /// </summary>
        public static event Action<ProductPurchasedEventArgs> ProductPurchased
        {
            add { Notifications.Purchase.Add(value); }
            remove { Notifications.Purchase.Remove(value); }
        }
    }

    /// <summary>What a purchase notification carries.</summary>
    public sealed unsafe partial class ProductPurchasedEventArgs : VelmoraHandle
    {
        /// <summary>The purchase's receipt text.</summary>
        public string Receipt { get { int hr; return Text(VelmoraChecked_ProductPurchasedEventArgs_Receipt(Live, &hr), hr); } }
    }
}
