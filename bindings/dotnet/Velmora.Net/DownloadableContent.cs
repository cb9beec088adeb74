using System;
using static Velmora.NativeMethods;

namespace Velmora
{
    /// <summary>The title's downloadable-content packages: discovery, mount, and install notifications.</summary>
    public static class DownloadableContent
    {
        /// <summary>The installed packages the filter selects.</summary>
        public static DownloadableContentPackageList FindPackages(DownloadableContentPackageFilter filter)
        {
            IntPtr list = VelmoraChecked_DLC_FindPackages((int)filter, out int hr);
            if (hr != 0) throw VelmoraException.FromHResult(hr, nameof(DLC_FindPackages));
            return DownloadableContentPackageList.Wrap(list) ?? throw VelmoraException.Refused(nameof(DLC_FindPackages), "the platform answered no package list");
        }

        /// <summary>An installation completed. Handlers run on the host's delivering thread.</summary>
        public static event Action InstallCompleted
        {
            add { Notifications.Install.Add(value); }
            remove { Notifications.Install.Remove(value); }
        }

        /// <summary>
        /// An installation completed, with what was installed. Handlers run on the host's delivering
        /// thread; the arguments are disposed when the last handler returns.
        /// </summary>
        public static event Action<InstallCompletedEventArgs> InstallCompletedWithDetails
        {
            add { Notifications.InstallDetails.Add(value); }
            remove { Notifications.InstallDetails.Remove(value); }
        }
    }

    /// <summary>The packages a query found.</summary>
    public sealed partial class DownloadableContentPackageList : NativeList<DownloadableContentPackage>
    {
        private protected override uint NativeLength(IntPtr list, out int hr) => VelmoraChecked_DLC_IDownloadableContentPackage_Length(list, out hr);
        private protected override DownloadableContentPackage NativeGetAt(IntPtr list, uint index, out int hr) => DownloadableContentPackage.Wrap(VelmoraChecked_DLC_IDownloadableContentPackage_GetAt(list, index, out hr));
    }

    /// <summary>An installed downloadable-content package.</summary>
    public sealed partial class DownloadableContentPackage : VelmoraHandle
    {
#pragma warning disable CS1591 // the platform's own member names
        public string TitleId => Text(VelmoraChecked_IDownloadableContentPackage_TitleId(Live, out int hr), hr);
        public string ContentId => Text(VelmoraChecked_IDownloadableContentPackage_ContentId(Live, out int hr), hr);
        public string ProductId => Text(VelmoraChecked_IDownloadableContentPackage_ProductId(Live, out int hr), hr);
        public string PackageFullName => Text(VelmoraChecked_IDownloadableContentPackage_PackageFullName(Live, out int hr), hr);
        public string MountPath => Text(VelmoraChecked_IDownloadableContentPackage_MountPath(Live, out int hr), hr);
        public bool IsMounted => Flag(VelmoraChecked_IDownloadableContentPackage_IsMounted(Live, out int hr), hr);
        public int ContentType => Value(VelmoraChecked_IDownloadableContentPackage_ContentType(Live, out int hr), hr);
        public string DisplayName => Text(VelmoraChecked_IDownloadableContentPackage_DisplayName(Live, out int hr), hr);
        public string Description => Text(VelmoraChecked_IDownloadableContentPackage_Description(Live, out int hr), hr);
        public string Publisher => Text(VelmoraChecked_IDownloadableContentPackage_Publisher(Live, out int hr), hr);
        public string Version => Text(VelmoraChecked_IDownloadableContentPackage_Version(Live, out int hr), hr);
#pragma warning restore CS1591

        /// <summary>Mounts the package and answers its mount path; a refused mount raises <see cref="VelmoraException"/>.</summary>
        public string Mount()
        {
            string path = Text(VelmoraChecked_IDownloadableContentPackage_Mount(Live, out int hr), hr);
            return path ?? throw VelmoraException.Refused("IDownloadableContentPackage_Mount", "the platform refused to mount " + PackageFullName);
        }

        /// <summary>Unmounts the package.</summary>
        public void Unmount()
        {
            VelmoraChecked_IDownloadableContentPackage_Unmount(Live, out int hr);
            Value(0, hr);
        }
    }

    /// <summary>What an install-completed notification with details carries.</summary>
    public sealed partial class InstallCompletedEventArgs : VelmoraHandle
    {
#pragma warning disable CS1591 // the platform's own member names
        public Guid ContentId => Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_ContentId(Live, out int hr), hr);
        public InstallOperationType OperationType => (InstallOperationType)Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_OperationType(Live, out int hr), hr);
        public string PackageFullName => Text(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(Live, out int hr), hr);
#pragma warning restore CS1591
    }
}
