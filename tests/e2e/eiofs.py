#!/usr/bin/python3
"""eiofs.py MOUNTPOINT SIZE [BACKING FROM TO | --wrap BACKING | --lose BACKING]

A FUSE file system with one file, "disk", of SIZE bytes. Without BACKING every
read and write of it fails with EIO, which Wine reports as ERROR_NOT_READY (21):
a drive with no medium. With BACKING, the bytes come from that file and only an
access touching bytes FROM..TO-1 fails: an unreadable stretch inside a disk.
With --wrap, the disk is a fake-capacity stick: it claims SIZE bytes but keeps
only BACKING's size, and every offset past that is read and written at the
offset modulo BACKING's size. With --lose, it keeps BACKING's size too, but
writes past that are accepted and dropped, and reads there return zeros.
The file is mounted with direct I/O: every read reaches this process, never
the kernel's page cache (Wine opens devices without O_DIRECT, so without it a
read-back after a write would be answered from the cache).
Runs in the foreground; stop it with `umount MOUNTPOINT`.
Needs Debian's python3-fusepy (run with /usr/bin/python3).
"""
import errno
import os
import stat
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class EioFS(Operations):
    def __init__(self, size, backing=None, bad_from=0, bad_to=None, wrap=False, lose=False):
        self.size, self.t = size, time.time()
        self.backing = open(backing, 'r+b') if backing else None
        self.bad_from = bad_from
        self.bad_to = size if bad_to is None else bad_to
        self.stored = os.fstat(self.backing.fileno()).st_size if wrap or lose else None
        self.lose = lose

    def _pieces(self, offset, length):
        """(backing offset, length) pieces of an access, wrapped on a fake stick."""
        if self.stored is None:
            return [(offset, length)]
        if self.lose:
            kept = max(0, min(length, self.stored - offset))
            return [(offset, kept), (None, length - kept)]
        out = []
        while length > 0:
            at = offset % self.stored
            n = min(length, self.stored - at)
            out.append((at, n))
            offset, length = offset + n, length - n
        return out

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
        data = b''
        for at, n in self._pieces(offset, size):
            if at is None:
                data += bytes(n)
                continue
            self.backing.seek(at)
            data += self.backing.read(n)
        return data

    def write(self, path, data, offset, fh):
        if offset + len(data) > self.size:
            raise FuseOSError(errno.ENOSPC)
        self._check(offset, len(data))
        done = 0
        for at, n in self._pieces(offset, len(data)):
            if at is not None:
                self.backing.seek(at)
                self.backing.write(data[done:done + n])
            done += n
        self.backing.flush()
        return len(data)

    def truncate(self, path, length, fh=None):
        raise FuseOSError(errno.EIO)


if __name__ == '__main__':
    args = sys.argv[1:]
    if len(args) not in (2, 4, 5) or (len(args) == 4 and args[2] not in ('--wrap', '--lose')):
        sys.exit(__doc__.strip().splitlines()[0])
    if len(args) == 4:
        fs = EioFS(int(args[1]), args[3], 0, 0, wrap=args[2] == '--wrap', lose=args[2] == '--lose')
    elif len(args) == 5:
        fs = EioFS(int(args[1]), args[2], int(args[3]), int(args[4]))
    else:
        fs = EioFS(int(args[1]))
    FUSE(fs, args[0], foreground=True, direct_io=True)
