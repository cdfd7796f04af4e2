"""A stand-in for the desktop's disk service (UDisks2) for python3-dbusmock, on a private bus.

One drive folder stands for the slot of a removable drive; each disk is a folder that
holds the disk's files while it is out. The disk in the drive is reported as a vfat
filesystem mounted at the drive folder, its files moved into that folder; the others are
reported as not mounted. The disk service's own methods act on the disk in the drive:
SetLabel, Unmount, Mount and Format (refused while mounted, as the real service does).

Parameters (JSON): {"drive": DIR, "disks": [{"name", "store", "label", "removable"}],
                    "refuse": REASON or ""}
With "refuse" every change (label, format, mount, unmount) is refused with that reason.
The test's own method org.korvalis.Test.Insert(name) takes the disk in the drive out and
puts the named one in ("" leaves the drive empty).
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
    disks = {}
    mock.AddProperties(MAIN_IFACE, {'Version': '2.9.4'})
    os.makedirs(drive_dir, exist_ok=True)

    def mounted(obj):
        return len(obj.props[FS]['MountPoints']) > 0

    def set_mounted(obj, on):
        points = [dbus.ByteArray(drive_dir.encode() + b'\0')] if on else []
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
            move_all(drive_dir, obj.store)
            set_mounted(obj, False)

    def mount(obj, options):
        check_allowed()
        if not mounted(obj):
            move_all(obj.store, drive_dir)
            set_mounted(obj, True)
        return drive_dir

    def format_block(obj, fstype, options):
        check_allowed()
        if mounted(obj):
            raise dbus.exceptions.DBusException(
                'Error wiping device: Failed to probe the device: Device or resource busy', name=BUSY)
        shutil.rmtree(obj.store)
        os.makedirs(obj.store)
        obj.UpdateProperties(BLOCK, {'IdType': fstype, 'IdLabel': str(options.get('label', ''))})

    for i, d in enumerate(parameters['disks']):
        drive_path = f'{MAIN_OBJ}/drives/Korvalis_Stick_{i}'
        block_path = f'{MAIN_OBJ}/block_devices/sd{chr(ord("b") + i)}1'
        mock.AddObject(drive_path, DRIVE, {
            'Vendor': 'Korvalis',
            'Model': 'Test stick ' + d['name'],
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
        os.makedirs(obj.store, exist_ok=True)
        obj.AddProperties(FS, {'MountPoints': dbus.Array([], signature='ay')})
        obj.AddMethod(FS, 'SetLabel', 'sa{sv}', '', set_label)
        obj.AddMethod(FS, 'Unmount', 'a{sv}', '', unmount)
        obj.AddMethod(FS, 'Mount', 'a{sv}', 's', mount)
        disks[d['name']] = obj

    def insert(_, name):
        for obj in disks.values():
            if mounted(obj):
                move_all(drive_dir, obj.store)
                set_mounted(obj, False)
        if name:
            move_all(disks[name].store, drive_dir)
            set_mounted(disks[name], True)

    mock.AddMethod('org.korvalis.Test', 'Insert', 's', '', insert)
