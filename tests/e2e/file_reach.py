#!/usr/bin/env python3
"""A file handed to the player reaches nothing else: no network, no other file.
Playlists, streaming manifests, session descriptions and concatenation lists,
each naming addresses on an HTTP server of the test's own and files in a
folder beside the media, are saved under media extensions. qorve-info opens
every one (the videos also with the MCI video class instead of the DirectShow
graph), and the player goes through the whole folder in series mode, each
under strace. Passes when the server saw no request, no program connected,
bound or sent to an internet address, none opened a file it was not handed
(the folder beside, or another file of the media folder), and the player
logged the refusal of each file of a kind it recognises. Prints a line a
file: requests seen, files reached, internet calls, the result code.
Usage: file_reach.py BIN_FOLDER (exit 77, skipped, without strace, sox or a
working ptrace)
"""
import concurrent.futures
import http.server
import json
import os
import pwd
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading

EXTENSIONS = ["avi", "mpg", "wmv", "wav", "mp3", "wma", "mid"]
# The kinds the player recognises and logs as refused; the others (.pls, ASX,
# XSPF) no reader of GStreamer or libavformat takes at all.
LOGGED = {"hls", "hls-master", "dash", "smooth", "m3u", "smil", "uri-list", "ffconcat", "ffconcat-remote", "ffmetadata",
          "sdp"}
REFUSAL = "外部参照ファイルを拒否".encode()
OPEN = re.compile(r'^(\d+)\s+(?:openat|open)\((?:AT_FDCWD|\d+), "([^"]*)"')
INET = re.compile(r"^\d+\s+(?:connect|bind|sendto|sendmsg)\(.*sa_family=AF_INET6?\b")


def bodies(web, port, secret):
    """Name -> text: each names addresses below `web` (on the server at
    `port`) and files in `secret`."""
    return {
        "hls": ("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
                "#EXTINF:10.0,\n%s/hls/seg0.ts\n#EXTINF:10.0,\nfile://%s/hls.ts\n#EXTINF:10.0,\n"
                "../secret/hls-relative.ts\n#EXT-X-ENDLIST\n" % (web, secret)),
        "hls-master": ("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=100000,CODECS=\"mp4a.40.2\"\n%s/hls/variant.m3u8\n"
                       "#EXT-X-STREAM-INF:BANDWIDTH=50000,CODECS=\"mp4a.40.2\"\nfile://%s/variant.m3u8\n"
                       % (web, secret)),
        "dash": ('<?xml version="1.0"?>\n<MPD xmlns="urn:mpeg:dash:schema:mpd:2011" type="static" '
                 'mediaPresentationDuration="PT10S" minBufferTime="PT1S" '
                 'profiles="urn:mpeg:dash:profile:isoff-on-demand:2011"><Period><AdaptationSet mimeType="audio/mp4">'
                 '<Representation id="a" bandwidth="64000" codecs="mp4a.40.2" audioSamplingRate="44100">'
                 '<BaseURL>%s/dash/a.mp4</BaseURL><SegmentBase indexRange="0-99"><Initialization range="0-49"/>'
                 '</SegmentBase></Representation><Representation id="b" bandwidth="32000" codecs="mp4a.40.2" '
                 'audioSamplingRate="44100"><BaseURL>file://%s/dash.mp4</BaseURL><SegmentBase indexRange="0-99">'
                 '<Initialization range="0-49"/></SegmentBase></Representation></AdaptationSet></Period></MPD>\n'
                 % (web, secret)),
        "smooth": ('<?xml version="1.0"?>\n<SmoothStreamingMedia MajorVersion="2" MinorVersion="0" '
                   'Duration="100000000" TimeScale="10000000"><StreamIndex Type="audio" Name="audio" Chunks="1" '
                   'QualityLevels="1" Url="%s/mss/QualityLevels({bitrate})/Fragments(audio={start time})">'
                   '<QualityLevel Index="0" Bitrate="64000" FourCC="AACL" SamplingRate="44100" Channels="2" '
                   'BitsPerSample="16" PacketSize="4" AudioTag="255" CodecPrivateData="1210"/><c d="100000000"/>'
                   '</StreamIndex></SmoothStreamingMedia>\n' % web),
        "m3u": "#EXTM3U\n#EXTINF:10,remote\n%s/m3u/a.mp3\n#EXTINF:10,local\n%s/m3u.mp3\n" % (web, secret),
        "pls": "[playlist]\nNumberOfEntries=2\nFile1=%s/pls/a.mp3\nFile2=%s/pls.mp3\nVersion=2\n" % (web, secret),
        "asx": ('<asx version="3.0"><entry><ref href="%s/asx/a.wma"/></entry>'
                '<entry><ref href="file://%s/asx.wma"/></entry></asx>\n' % (web, secret)),
        "smil": ('<?xml version="1.0"?>\n<smil xmlns="http://www.w3.org/2001/SMIL20/Language"><body><seq>'
                 '<audio src="%s/smil/a.mp3"/><video src="file://%s/smil.avi"/></seq></body></smil>\n'
                 % (web, secret)),
        "xspf": ('<?xml version="1.0" encoding="UTF-8"?>\n<playlist version="1" xmlns="http://xspf.org/ns/0/">'
                 '<trackList><track><location>%s/xspf/a.ogg</location></track><track>'
                 '<location>file://%s/xspf.ogg</location></track></trackList></playlist>\n' % (web, secret)),
        "uri-list": "%s/ram/a.rm\nfile://%s/ram.rm\n" % (web, secret),
        # libavformat's safe mode refuses a whole list that names a path or an
        # address, but follows one that names a file beside it.
        "ffconcat": "ffconcat version 1.0\nfile '000-start.wav'\n",
        "ffconcat-remote": "ffconcat version 1.0\nfile '%s/concat.wav'\nfile '%s/concat/a.wav'\n" % (secret, web),
        "ffmetadata": (";FFMETADATA1\ntitle=%s/meta\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\n"
                       "title=file://%s/meta\n" % (web, secret)),
        "sdp": ("v=0\no=- 0 0 IN IP4 127.0.0.1\ns=stream\nc=IN IP4 127.0.0.1\nt=0 0\n"
                "m=audio %d RTP/AVP 0\na=rtpmap:0 PCMU/8000\na=control:%s/sdp\n" % (port + 1, web)),
    }


class Requests(http.server.BaseHTTPRequestHandler):
    seen = []
    lock = threading.Lock()

    def do_GET(self):
        with Requests.lock:
            Requests.seen.append(self.path)
        self.send_response(200)
        self.send_header("Content-Length", "4")
        self.end_headers()
        self.wfile.write(b"\0\0\0\0")

    do_HEAD = do_GET
    do_POST = do_GET

    def log_message(self, *args):
        pass


def trace_findings(trace, allowed, watched):
    """Files of `watched` folders opened other than `allowed`, and inet calls."""
    files, inet = set(), 0
    with open(trace, errors="replace") as lines:
        for line in lines:
            if INET.search(line):
                inet += 1
                continue
            opened = OPEN.search(line)
            if not opened:
                continue
            path = os.path.normpath(opened.group(2))
            if path in allowed:
                continue
            if any(path.startswith(folder + os.sep) for folder in watched):
                files.add(path)
    return files, inet


def run_traced(command, env, trace, timeout):
    done = subprocess.run(["strace", "-f", "-qq", "-o", trace, "-e", "trace=open,openat,connect,bind,sendto,sendmsg"]
                          + command, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
    return done


def main():
    bin_folder = os.path.abspath(sys.argv[1])
    for tool in ("strace", "sox"):
        if not shutil.which(tool):
            print("skipped: %s is not installed" % tool)
            return 77
    if subprocess.run(["strace", "-f", "-qq", "-o", os.devnull, "true"]).returncode != 0:
        print("skipped: strace cannot trace here (ptrace refused)")
        return 77
    with tempfile.TemporaryDirectory() as work:
        return survey(bin_folder, work)


def survey(bin_folder, work):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Requests)
    port = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()

    media, secret = os.path.join(work, "media"), os.path.join(work, "secret")
    os.makedirs(media)
    os.makedirs(secret)
    for name in ("hls.ts", "hls-relative.ts", "variant.m3u8", "dash.mp4", "m3u.mp3", "pls.mp3", "asx.wma",
                 "smil.avi", "xspf.ogg", "ram.rm", "concat.wav", "meta"):
        with open(os.path.join(secret, name), "wb") as file:
            file.write(b"RIFF\0\0\0\0WAVE")
    # A short piece of sound: where the player's series starts, and a file of
    # the folder that a list may name by a relative name.
    first = os.path.join(media, "000-start.wav")
    subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", "-b", "16", first, "synth", "0.3", "sine", "440"],
                   check=True)
    files = []
    for kind in bodies("", port, secret):
        for extension in EXTENSIONS:
            name = "%s.%s" % (kind, extension)
            with open(os.path.join(media, name), "w") as file:
                file.write(bodies("http://127.0.0.1:%d/%s" % (port, name), port, secret)[kind])
            files.append(os.path.join(media, name))

    runtime = os.path.join(work, "runtime")
    os.makedirs(runtime, mode=0o700)
    base = dict(os.environ, HOME=os.path.join(work, "home"), QT_QPA_PLATFORM="offscreen", QORVE_MIXER="virtual",
                QORVE_AUDIO="wav-fast:/dev/null", XDG_RUNTIME_DIR=runtime,
                DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-session-bus"))
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "http_proxy", "https_proxy"):
        base.pop(name, None)
    login = pwd.getpwuid(os.getuid()).pw_name

    def settings(name, text):
        folder = os.path.join(work, "settings", name)
        os.makedirs(folder)
        with open(os.path.join(folder, "%s.INI" % login), "w") as ini:
            ini.write("[KESTRAVOX]\r\nLOG=1\r\n" + text)
        return folder

    def requests_for(name):
        with Requests.lock:
            return sum(1 for seen in Requests.seen if seen.startswith("/%s/" % name))

    def probe(path):
        """qorve-info on `path` under each setting: the lines to print and the failures."""
        name, extension = os.path.basename(path), path.rsplit(".", 1)[1]
        lines, failures = [], []
        for setting in ("graph", "mci") if extension == "avi" else ("graph",):
            home = settings("%s-%s" % (setting, name), "[VIDEOSET]\r\nDSHOW=0\r\n" if setting == "mci" else "")
            trace = os.path.join(home, "trace")
            before = requests_for(name)
            try:
                done = run_traced([os.path.join(bin_folder, "qorve-info"), path], dict(base, QORVE_HOME=home),
                                  trace, 120)
                result = json.loads(done.stdout.decode("utf-8", "replace").splitlines()[0])["result"]
            except subprocess.TimeoutExpired:
                result = "no end"
            except (ValueError, IndexError, KeyError):
                result = "no answer"
            reached, inet = trace_findings(trace, {path, media}, [media, secret])
            requests = requests_for(name) - before
            lines.append("%-22s %-6s %8d %8d %5d  %s" % (name, setting, requests, len(reached), inet, result))
            if requests or reached or inet:
                failures.append("qorve-info %s (%s): %d requests, %d inet calls, reached %s"
                                % (name, setting, requests, inet,
                                   ", ".join(sorted(os.path.basename(p) for p in reached)) or "nothing"))
            if result == 0:
                failures.append("qorve-info %s (%s) played a file that names others" % (name, setting))
        return lines, failures

    failures = []
    print("%-22s %-6s %8s %8s %5s  %s" % ("file", "class", "requests", "reached", "inet", "result"))
    # Two at a time: each run waits mostly on its own start and end.
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for lines, found in pool.map(probe, files):
            print("\n".join(lines))
            failures += found

    # The player in series mode, through the whole folder: from the short
    # piece of sound, at whose end it tries every other file in turn. It may
    # open every file of the folder, never one beside it.
    before = len(Requests.seen)
    home = settings("series", "[SOUNDSET]\r\nLOOP=2\r\nEND=0\r\n")
    env = dict(base, QORVE_HOME=home)
    log = os.path.join(home, "LOG.TXT")
    trace = os.path.join(home, "trace")
    strace = subprocess.Popen(["strace", "-f", "-qq", "-o", trace, "-e", "trace=open,openat,connect,bind,sendto,"
                               "sendmsg", os.path.join(bin_folder, "qorve"), first, "-C"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    loaded, wanted = set(), {path.encode() for path in files}
    try:
        for _ in range(int(300 / 0.2)):
            if strace.poll() is not None:
                break
            if os.path.exists(log):
                with open(log, "rb") as text:
                    loaded = set(re.findall(rb'"(%s/[^"]+)" , "[01]"' % re.escape(media.encode()), text.read()))
            if wanted <= loaded:
                break
            threading.Event().wait(0.2)
    finally:
        # The end signal goes to the player (strace's child); strace ends with it.
        try:
            with open("/proc/%d/task/%d/children" % (strace.pid, strace.pid)) as children:
                for child in children.read().split():
                    os.kill(int(child), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        try:
            strace.wait(30)
        except subprocess.TimeoutExpired:
            strace.kill()
            strace.wait()
            failures.append("the player did not end at SIGTERM")
    reached, inet = trace_findings(trace, set(files) | {media, first}, [media, secret])
    requests = len(Requests.seen) - before
    print("%-22s %-6s %8d %8d %5d  %d of %d files loaded" % ("series", "player", requests, len(reached), inet,
                                                            len(wanted & loaded), len(files)))
    # Each file of a kind the player recognises has its refusal in the log.
    refused, current = set(), None
    with open(log, "rb") as text:
        for line in text.read().split(b"\r\n"):
            load = re.match(rb'"(%s/[^"]+)" , "[01]"' % re.escape(media.encode()), line)
            if load:
                current = os.path.basename(load.group(1).decode())
            elif REFUSAL in line and current:
                refused.add(current)
    expected = {os.path.basename(path) for path in files if os.path.basename(path).rsplit(".", 1)[0] in LOGGED}
    print("refusals logged: %d of the %d files of the kinds recognised" % (len(refused & expected), len(expected)))
    if refused != expected:
        failures.append("refusals logged for %s, missing for %s" % (" ".join(sorted(refused - expected)) or "no other",
                                                                   " ".join(sorted(expected - refused)) or "none"))
    if requests or reached or inet:
        failures.append("the player in series: %d requests, %d inet calls, reached %s"
                        % (requests, inet, ", ".join(sorted(os.path.basename(p) for p in reached)) or "nothing"))
    if not wanted <= loaded:
        failures.append("the player in series loaded %d of %d files" % (len(wanted & loaded), len(files)))
    server.shutdown()
    if Requests.seen:
        print("requests seen: " + " ".join(sorted(set(Requests.seen))))
    if failures:
        print("FAIL:\n  " + "\n  ".join(failures))
        return 1
    print("PASS: no request, no internet address, no other file")
    return 0


if __name__ == "__main__":
    sys.exit(main())
