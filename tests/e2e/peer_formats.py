#!/usr/bin/env python3
"""Every file of the shared media folder that a peer program opens, the player
opens too. The peers are asked first: openmpt123 for tracker modules, lhasa,
cabextract and bsdtar for archives (one of them unpacks it), ffmpeg for the
rest (it decodes a frame of the first two seconds without an error). Then the player: an archive
must unpack onto the desktop (`qorve FILE` ends with 0 and leaves a folder that
is not empty); any other file must open in `qorve-info` (result 0).
Prints one line a file: the peer that opened it, or none, and the player's
answer. The shared folder is QORVE_TEST_MEDIA, or shared/media beside the
project; without it the test is skipped (exit 77), except under CI=true.
Usage: peer_formats.py BIN_FOLDER
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

TRACKER = {"mod", "xm", "s3m", "it", "mtm", "669", "stm", "ult", "med", "okt", "far", "amf"}
ARCHIVERS = {"lhasa", "cabextract", "bsdtar"}
NOT_MEDIA = {"txt", "md", "tsv", "copyright", "license", "lgpl", "copying"}


def runs(command, timeout=30):
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False, b""
    return done.returncode == 0, done.stdout


def unpacks(command, folder):
    """The archiver ends with 0 and leaves at least one file in `folder`."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    try:
        done = subprocess.run(command, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    except subprocess.TimeoutExpired:
        return False
    return done.returncode == 0 and any(files for _, _, files in os.walk(folder))


def peer_of(path, scratch):
    extension = os.path.splitext(path)[1][1:].lower()
    if extension in TRACKER and shutil.which("openmpt123"):
        ok, _ = runs(["openmpt123", "--info", path])
        if ok:
            return "openmpt123"
    archivers = [("lhasa", ["lhasa", "x", path]), ("cabextract", ["cabextract", "-q", path]),
                 ("bsdtar", ["bsdtar", "-xf", path])]
    for name, command in archivers:
        if shutil.which(name) and unpacks(command, scratch):
            return name
    # ffmpeg decodes at least one frame of the first two seconds, without an error.
    ok, out = runs(["ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", path, "-t", "2", "-f", "framecrc", "-"], 120)
    if ok and any(line and not line.startswith(b"#") for line in out.splitlines()):
        return "ffmpeg"
    return None


def main():
    bin_folder = os.path.abspath(sys.argv[1])
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared", "media")
    shared = os.path.abspath(os.environ.get("QORVE_TEST_MEDIA") or beside)
    with tempfile.TemporaryDirectory() as work:
        return survey(bin_folder, shared, work)


def survey(bin_folder, shared, work):
    if not os.path.isdir(shared):
        if os.environ.get("CI") == "true":
            print("FAIL: the shared media folder %s is missing" % shared)
            return 1
        print("skipped: the shared media folder %s is missing" % shared)
        return 77
    for tool in ("ffmpeg",):
        if not shutil.which(tool):
            print("skipped: %s is missing" % tool)
            return 77
    home = os.path.join(work, "home")
    desktop = os.path.join(work, "desktop")
    os.makedirs(os.path.join(home, ".config"), exist_ok=True)
    with open(os.path.join(home, ".config", "user-dirs.dirs"), "w") as dirs:
        dirs.write('XDG_DESKTOP_DIR="%s"\n' % desktop)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               QORVE_HOME=os.path.join(work, "settings"), QT_QPA_PLATFORM="offscreen",
               QORVE_AUDIO="wav-fast:/dev/null",
               DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-session-bus"))
    failures = []
    counts = {}
    for folder, subfolders, names in os.walk(shared):
        subfolders[:] = sorted(s for s in subfolders if not s.startswith("_"))
        for name in sorted(names):
            path = os.path.join(folder, name)
            extension = os.path.splitext(name)[1][1:].lower()
            if folder == shared or extension in NOT_MEDIA or name.lower() in NOT_MEDIA:
                continue
            peer = peer_of(path, os.path.join(work, "peer"))
            if peer is None:
                print("%-60s no peer opens it" % os.path.relpath(path, shared))
                continue
            shutil.rmtree(desktop, ignore_errors=True)
            os.makedirs(desktop)
            if peer in ARCHIVERS:
                try:
                    done = subprocess.run([os.path.join(bin_folder, "qorve"), path], env=env, timeout=120,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    unpacked = any(files for _, _, files in os.walk(desktop))
                    answer = "unpacked" if done.returncode == 0 and unpacked else "exit %d, %s" % (
                        done.returncode, "files" if unpacked else "nothing unpacked")
                except subprocess.TimeoutExpired:
                    answer = "no end"
                ok = answer == "unpacked"
            else:
                try:
                    done = subprocess.run([os.path.join(bin_folder, "qorve-info"), path], env=env, timeout=120,
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                    answer = "result %s" % json.loads(done.stdout.decode("utf-8", "replace").splitlines()[0])["result"]
                except (subprocess.TimeoutExpired, ValueError, IndexError, KeyError):
                    answer = "no answer"
                ok = answer == "result 0"
            counts[peer] = counts.get(peer, 0) + 1
            print("%-60s %-10s player: %s" % (os.path.relpath(path, shared), peer, answer))
            if not ok:
                failures.append("%s (%s opens it; the player: %s)" % (os.path.relpath(path, shared), peer, answer))
    print("opened by a peer: " + ", ".join("%s %d" % item for item in sorted(counts.items())))
    if failures:
        print("FAIL: the player does not open what a peer opens:\n  " + "\n  ".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
