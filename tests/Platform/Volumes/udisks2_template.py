"""A stand-in for the desktop's disk service (UDisks2) for python3-dbusmock, on a private bus.

One drive folder stands for the slot of a removable drive; each disk is a folder that
holds the disk's files while it is out. The disk in the drive is reported as a vfat
filesystem mounted at the drive folder, its files moved into that folder; the others are
reported as not mounted. The disk service's own methods act on the disk in the drive:
SetLabel, Unmount, Mount and Format (refused while mounted, as the real service does).

Parameters (JSON): {"drive": DIR, "disks": [{"name", "store", "label", "removable"}],
                    "refuse": REASON or "", "media": DIR or "", "automount": true}
With "refuse" every change (label, format, mount, unmount) is refused with that reason.
The test's own method org.korvalis.Test.Insert(name) takes the disk in the drive out and
puts the named one in ("" leaves the drive empty).

With "media", the disks are sticks as a desktop sees them: only the one put in exists for
the service, and it is mounted (by the desktop, unless "automount" is false; else through
the service's Mount) at a folder of its own under DIR, named after its label (or its name
when it has none); a disk taken out leaves no folder behind.
"""
import os
import shutil

import dbus

from dbusmock import mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

BLOCK = 'org.freedesktop.UDisks2.Block'
FS = 'org.freedesktop.UDisks2.Filesystem'
DRIVE = 'org.freedesktop.UDisks2.Drive'
NOT_AUTHORIZED = 'org.freedesktop.UDisks2.Error.NotAuthorized'
BUSY = 'org.freedesktop.UDisks2.Error.DeviceBusy'


def move_all(src, dst):
    os.makedirs(dst, exist_ok=True)
    for name in os.listdir(src):
        shutil.move(os.path.join(src, name), os.path.join(dst, name))


def load(mock, parameters):
    drive_dir = parameters['drive']
    refuse = parameters.get('refuse', '')
    media = parameters.get('media', '')
    automount = parameters.get('automount', True)
    disks = {}
    mock.AddProperties(MAIN_IFACE, {'Version': '2.9.4'})
    os.makedirs(drive_dir, exist_ok=True)

    def mounted(obj):
        return len(obj.props[FS]['MountPoints']) > 0

    def mount_point(obj):
        if not media:
            return drive_dir
        return os.path.join(media, str(obj.props[BLOCK]['IdLabel']) or obj.disk_name)

    def set_mounted(obj, on):
        point = mount_point(obj) if on else obj.point
        if on:
            os.makedirs(point, exist_ok=True)
            move_all(obj.store, point)
        else:
            move_all(point, obj.store)
            if media:
                os.rmdir(point)
        obj.point = point
        points = [dbus.ByteArray(point.encode() + b'\0')] if on else []
        obj.UpdateProperties(FS, {'MountPoints': dbus.Array(points, signature='ay')})

    def check_allowed():
        if refuse:
            raise dbus.exceptions.DBusException(refuse, name=NOT_AUTHORIZED)

    def set_label(obj, label, options):
        check_allowed()
        obj.UpdateProperties(BLOCK, {'IdLabel': label})

    def unmount(obj, options):
        check_allowed()
        if mounted(obj):
            set_mounted(obj, False)

    def mount(obj, options):
        check_allowed()
        if not mounted(obj):
            set_mounted(obj, True)
        return obj.point

    def format_block(obj, fstype, options):
        check_allowed()
        if mounted(obj):
            raise dbus.exceptions.DBusException(
                'Error wiping device: Failed to probe the device: Device or resource busy', name=BUSY)
        shutil.rmtree(obj.store)
        os.makedirs(obj.store)
        obj.UpdateProperties(BLOCK, {'IdType': fstype, 'IdLabel': str(options.get('label', ''))})

    def add_disk(name):
        d = disks[name]
        i = d['index']
        drive_path = f'{MAIN_OBJ}/drives/Korvalis_Stick_{i}'
        block_path = f'{MAIN_OBJ}/block_devices/sd{chr(ord("b") + i)}1'
        mock.AddObject(drive_path, DRIVE, {
            'Vendor': 'Korvalis',
            'Model': 'Test stick ' + name,
            'Removable': dbus.Boolean(d.get('removable', True)),
            'MediaRemovable': dbus.Boolean(d.get('removable', True)),
        }, [])
        mock.AddObject(block_path, BLOCK, {
            'Device': dbus.ByteArray(f'/dev/sd{chr(ord("b") + i)}1'.encode() + b'\0'),
            'IdLabel': d.get('label', ''),
            'IdType': 'vfat',
            'IdUsage': 'filesystem',
            'Drive': dbus.ObjectPath(drive_path),
        }, [('Format', 'sa{sv}', '', format_block)])
        obj = mockobject.objects[block_path]
        obj.store = d['store']
        obj.disk_name = name
        obj.point = ''
        obj.paths = (block_path, drive_path)
        os.makedirs(obj.store, exist_ok=True)
        obj.AddProperties(FS, {'MountPoints': dbus.Array([], signature='ay')})
        obj.AddMethod(FS, 'SetLabel', 'sa{sv}', '', set_label)
        obj.AddMethod(FS, 'Unmount', 'a{sv}', '', unmount)
        obj.AddMethod(FS, 'Mount', 'a{sv}', 's', mount)
        d['obj'] = obj
        return obj

    def remove_disk(name):
        obj = disks[name].pop('obj')
        disks[name]['label'] = str(obj.props[BLOCK]['IdLabel'])
        if mounted(obj):
            set_mounted(obj, False)
        for path in obj.paths:
            mock.RemoveObject(path)

    for i, d in enumerate(parameters['disks']):
        disks[d['name']] = dict(d, index=i)
        os.makedirs(d['store'], exist_ok=True)
        if not media:
            add_disk(d['name'])

    def insert(_, name):
        for disk_name, d in disks.items():
            if 'obj' not in d:
                continue
            if media:
                remove_disk(disk_name)
            elif mounted(d['obj']):
                set_mounted(d['obj'], False)
        if name:
            obj = add_disk(name) if media else disks[name]['obj']
            if automount or not media:
                set_mounted(obj, True)

    mock.AddMethod('org.korvalis.Test', 'Insert', 's', '', insert)
