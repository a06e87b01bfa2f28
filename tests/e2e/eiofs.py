#!/usr/bin/python3
"""eiofs.py MOUNTPOINT SIZE [BACKING FROM TO]

A FUSE file system with one file, "disk", of SIZE bytes. Without BACKING every
read and write of it fails with EIO, which Wine reports as ERROR_NOT_READY (21):
a drive with no medium. With BACKING, the bytes come from that file and only an
access touching bytes FROM..TO-1 fails: an unreadable stretch inside a disk.
Runs in the foreground; stop it with `umount MOUNTPOINT`.
Needs Debian's python3-fusepy (run with /usr/bin/python3).
"""
import errno
import stat
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class EioFS(Operations):
    def __init__(self, size, backing=None, bad_from=0, bad_to=None):
        self.size, self.t = size, time.time()
        self.backing = open(backing, 'r+b') if backing else None
        self.bad_from = bad_from
        self.bad_to = size if bad_to is None else bad_to

    def _check(self, offset, length):
        if self.backing is None or (offset < self.bad_to and offset + length > self.bad_from):
            raise FuseOSError(errno.EIO)

    def getattr(self, path, fh=None):
        if path == '/':
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2,
                        st_ctime=self.t, st_mtime=self.t, st_atime=self.t)
        if path == '/disk':
            return dict(st_mode=stat.S_IFREG | 0o666, st_nlink=1, st_size=self.size,
                        st_ctime=self.t, st_mtime=self.t, st_atime=self.t)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return ['.', '..', 'disk']

    def open(self, path, flags):
        return 0

    def read(self, path, size, offset, fh):
        size = max(0, min(size, self.size - offset))
        self._check(offset, size)
        self.backing.seek(offset)
        return self.backing.read(size)

    def write(self, path, data, offset, fh):
        if offset + len(data) > self.size:
            raise FuseOSError(errno.ENOSPC)
        self._check(offset, len(data))
        self.backing.seek(offset)
        self.backing.write(data)
        self.backing.flush()
        return len(data)

    def truncate(self, path, length, fh=None):
        raise FuseOSError(errno.EIO)


if __name__ == '__main__':
    args = sys.argv[1:]
    if len(args) not in (2, 5):
        sys.exit(__doc__.strip().splitlines()[0])
    if len(args) == 5:
        fs = EioFS(int(args[1]), args[2], int(args[3]), int(args[4]))
    else:
        fs = EioFS(int(args[1]))
    FUSE(fs, args[0], foreground=True, direct_io=True)
