using System;
using static Velmora.NativeMethods;

namespace Velmora
{
    /// <summary>The title's downloadable-content packages: discovery, mount, and install notifications.</summary>
    public static unsafe class DownloadableContent
    {
        /// <summary>The installed packages the filter selects.</summary>
        public static DownloadableContentPackageList FindPackages(DownloadableContentPackageFilter filter)
        {
            int hr;
            IntPtr list = VelmoraChecked_DLC_FindPackages((int)filter, &hr);
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
    public sealed unsafe partial class DownloadableContentPackageList : NativeList<DownloadableContentPackage>
    {
        private protected override uint NativeLength(IntPtr list, int* hr) => VelmoraChecked_DLC_IDownloadableContentPackage_Length(list, hr);
        private protected override DownloadableContentPackage NativeGetAt(IntPtr list, uint index, int* hr) => DownloadableContentPackage.Wrap(VelmoraChecked_DLC_IDownloadableContentPackage_GetAt(list, index, hr));
    }

    /// <summary>An installed downloadable-content package.</summary>
    public sealed unsafe partial class DownloadableContentPackage : VelmoraHandle
    {
#pragma warning disable CS1591 // the platform's own member names
        public string TitleId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_TitleId(Live, &hr), hr); } }
        public string ContentId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_ContentId(Live, &hr), hr); } }
        public string ProductId { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_ProductId(Live, &hr), hr); } }
        public string PackageFullName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_PackageFullName(Live, &hr), hr); } }
        public string MountPath { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_MountPath(Live, &hr), hr); } }
        public bool IsMounted { get { int hr; return Flag(VelmoraChecked_IDownloadableContentPackage_IsMounted(Live, &hr), hr); } }
        public int ContentType { get { int hr; return Value(VelmoraChecked_IDownloadableContentPackage_ContentType(Live, &hr), hr); } }
        public string DisplayName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_DisplayName(Live, &hr), hr); } }
        public string Description { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Description(Live, &hr), hr); } }
        public string Publisher { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Publisher(Live, &hr), hr); } }
        public string Version { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackage_Version(Live, &hr), hr); } }
#pragma warning restore CS1591

        /// <summary>Mounts the package and answers its mount path; a refused mount raises <see cref="VelmoraException"/>.</summary>
        public string Mount()
        {
            int hr;
            string path = Text(VelmoraChecked_IDownloadableContentPackage_Mount(Live, &hr), hr);
            return path ?? throw VelmoraException.Refused("IDownloadableContentPackage_Mount", "the platform refused to mount " + PackageFullName);
        }

        /// <summary>Unmounts the package.</summary>
        public void Unmount()
        {
            int hr;
            VelmoraChecked_IDownloadableContentPackage_Unmount(Live, &hr);
            Value(0, hr);
        }
    }

    /// <summary>What an install-completed notification with details carries.</summary>
    public sealed unsafe partial class InstallCompletedEventArgs : VelmoraHandle
    {
#pragma warning disable CS1591 // the platform's own member names
        public Guid ContentId { get { int hr; return Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_ContentId(Live, &hr), hr); } }
        public InstallOperationType OperationType { get { int hr; return (InstallOperationType)Value(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_OperationType(Live, &hr), hr); } }
        public string PackageFullName { get { int hr; return Text(VelmoraChecked_IDownloadableContentPackageInstallCompletedEventArgs_PackageFullName(Live, &hr), hr); } }
#pragma warning restore CS1591
    }
}
