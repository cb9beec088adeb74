using System;
using System.Collections.Generic;
using System.Globalization;
using Velmora.Interop;
using static Velmora.Interop.NativeMethods;

namespace Velmora
{
    /// <summary>The title's downloadable-content packages: discovery, mount, and install notifications.</summary>
    public static class DownloadableContent
    {
        /// <summary>The installed packages the filter selects, read whole now.</summary>
        /// <exception cref="ArgumentOutOfRangeException"><paramref name="filter"/> is not a value of <see cref="DownloadableContentPackageFilter"/>.</exception>
        /// <exception cref="VelmoraException">The platform refused the query.</exception>
        public static IReadOnlyList<DownloadableContentPackage> FindPackages(DownloadableContentPackageFilter filter)
        {
            using (DownloadableContentPackageListHandle packages = NativeDownloadableContent.FindPackages(filter))
            {
                var found = new DownloadableContentPackage[packages.Count];
                for (int i = 0; i < found.Length; i++)
                    using (DownloadableContentPackageHandle package = packages[i])
                        found[i] = DownloadableContentPackage.Read(package, filter);
                return Array.AsReadOnly(found);
            }
        }

        /// <summary>
        /// Mounts a package and answers it as it is now, mounted, with its <see cref="DownloadableContentPackage.MountPath"/>.
        /// The platform mounts its own package object, which the binding finds again by full name among
        /// the packages of the query that found <paramref name="package"/>.
        /// </summary>
        /// <exception cref="ArgumentNullException"><paramref name="package"/> is null.</exception>
        /// <exception cref="VelmoraException">The package is no longer installed (E_NOT_FOUND), or the platform refused the mount.</exception>
        public static DownloadableContentPackage Mount(DownloadableContentPackage package)
        {
            return WithPlatformPackage(package, native => native.Mount());
        }

        /// <summary>Unmounts a package and answers it as it is now, unmounted; found again as <see cref="Mount"/> says.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="package"/> is null.</exception>
        /// <exception cref="VelmoraException">The package is no longer installed (E_NOT_FOUND), or the platform refused the unmount.</exception>
        public static DownloadableContentPackage Unmount(DownloadableContentPackage package)
        {
            return WithPlatformPackage(package, native => native.Unmount());
        }

        private static DownloadableContentPackage WithPlatformPackage(DownloadableContentPackage package, Action<DownloadableContentPackageHandle> act)
        {
            if (package == null) throw new ArgumentNullException(nameof(package));
            using (DownloadableContentPackageListHandle packages = NativeDownloadableContent.FindPackages(package.Filter))
            {
                foreach (DownloadableContentPackageHandle candidate in packages)
                {
                    using (candidate)
                    {
                        if (candidate.PackageFullName != package.PackageFullName) continue;
                        act(candidate);
                        return DownloadableContentPackage.Read(candidate, package.Filter);
                    }
                }
            }
            throw new VelmoraException("the package " + package.PackageFullName + " is no longer installed: find the packages again", HResults.NotFound, null);
        }

        /// <summary>An installation completed. Handlers run on the host's delivering thread; subscribing needs a bound plugin, and unbinding removes every handler.</summary>
        public static event Action InstallCompleted
        {
            add { Notifications.Install.Add(value); }
            remove { Notifications.Install.Remove(value); }
        }

        /// <summary>
        /// An installation completed, with what was installed. Handlers run on the host's delivering
        /// thread with arguments read whole before the first one: keep them, read them after an await.
        /// </summary>
        public static event Action<InstallCompletedEventArgs> InstallCompletedWithDetails
        {
            add { Notifications.InstallDetails.Add(value); }
            remove { Notifications.InstallDetails.Remove(value); }
        }
    }

    /// <summary>An installed downloadable-content package, read whole when it was found (mounting answers a new one).</summary>
    public sealed class DownloadableContentPackage
    {
        private DownloadableContentPackage(DownloadableContentPackageHandle package, DownloadableContentPackageFilter filter)
        {
            string titleId = package.TitleId;
            if (!uint.TryParse(titleId, NumberStyles.AllowHexSpecifier, CultureInfo.InvariantCulture, out uint parsed))
                throw new VelmoraException("DownloadableContentPackage.TitleId: the platform answered \"" + titleId + "\", which is not a title id (hexadecimal, 32 bits)", HResults.InvalidArgument, null);
            TitleId = parsed;
            ContentId = package.ContentId;
            ProductId = package.ProductId;
            PackageFullName = package.PackageFullName;
            MountPath = package.MountPath;
            IsMounted = package.IsMounted;
            ContentType = package.ContentType;
            DisplayName = package.DisplayName;
            Description = package.Description;
            Publisher = package.Publisher;
            Version = package.Version;
            Filter = filter;
        }

        /// <summary>The title the package belongs to: the same number inventory and catalog items carry (the platform's hexadecimal text, parsed).</summary>
        public uint TitleId { get; }
        /// <summary>The package's content id, as the platform's text.</summary>
        public string ContentId { get; }
        /// <summary>The catalog product the package is.</summary>
        public string ProductId { get; }
        /// <summary>The package's full name: its identity on the console.</summary>
        public string PackageFullName { get; }
        /// <summary>Where the package's files are while it is mounted; empty otherwise.</summary>
        public string MountPath { get; }
        /// <summary>Whether the package was mounted when it was read.</summary>
        public bool IsMounted { get; }
        /// <summary>The platform's content type value, passed through.</summary>
        public int ContentType { get; }
        /// <summary>The name to show.</summary>
        public string DisplayName { get; }
        /// <summary>The package's description.</summary>
        public string Description { get; }
        /// <summary>The publisher.</summary>
        public string Publisher { get; }
        /// <summary>The package's version text.</summary>
        public string Version { get; }

        internal DownloadableContentPackageFilter Filter { get; }

        /// <summary>The full name.</summary>
        public override string ToString() => PackageFullName;

        internal static DownloadableContentPackage Read(DownloadableContentPackageHandle package, DownloadableContentPackageFilter filter)
        {
            return new DownloadableContentPackage(package, filter);
        }
    }

    /// <summary>What an install-completed notification with details carries, read whole when the host delivered it.</summary>
    public sealed class InstallCompletedEventArgs
    {
        private InstallCompletedEventArgs(Guid contentId, InstallOperationType operationType, string packageFullName)
        {
            ContentId = contentId.ToString("D");
            OperationType = operationType;
            PackageFullName = packageFullName;
        }

        /// <summary>The installed content's id, as lower-case GUID text: equal to the package's <see cref="DownloadableContentPackage.ContentId"/>.</summary>
        public string ContentId { get; }
        /// <summary>What the installer did; a value the binding does not name is kept as the platform gave it.</summary>
        public InstallOperationType OperationType { get; }
        /// <summary>The installed package's full name.</summary>
        public string PackageFullName { get; }

        internal static readonly Func<IntPtr, InstallCompletedEventArgs> Take =
            p => Records.Owned(p, q => Read(q), Disposers.IDownloadableContentPackageInstallCompletedEventArgs);

        private static unsafe InstallCompletedEventArgs Read(IntPtr p)
        {
            int hr;
            const string Type = "InstallCompletedEventArgs.";
            return new InstallCompletedEventArgs(
                Records.Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_ContentId(p, &hr), hr, Type + "ContentId"),
                (InstallOperationType)Records.Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_OperationType(p, &hr), hr, Type + "OperationType"),
                Records.Text(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(p, &hr), hr, Type + "PackageFullName"));
        }
    }
}
