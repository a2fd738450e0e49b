#!/usr/bin/env python3
"""Drives the real Double Commander with the plug-in from the Linux package, as a user would.

On a private virtual display, with a private configuration folder in which the package's
frameleaf.wfx is registered, the run opens the virtual file systems list, enters frameleaf,
checks the root's entries, opens "[connection]" and answers the address prompt with the demo
site (served by the fixture web server, reached as the proxy), opens an album, copies a
photo out with F5 and compares it with the served file, starts copying a photo served
slowly and presses Cancel in the copy's progress window (the copy must stop at once, leave
no file, and the panel must answer right after), copies "settings" out, switches the
plug-in's language to Russian (the root's texts must arrive readable in the UTF-8 locale),
and exits Double Commander, which must close at once: an operation that never ended keeps
it open.

Every wait is for a condition: a window, a file, the title bar, the names the panel holds
(read through the clipboard). The time limit of a wait only ends a run that hangs.
Screenshots of each stage are kept in the work folder.

Usage: drive_doublecmd.py --source ROOT --release DIR --work DIR
Exit codes: 0 passed, 1 failed, 77 skipped (a program or the optimised build is missing).
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tarfile
import time

WAIT_LIMIT = 120  # seconds; only a hanging run reaches it
DEMO_ADDRESS = "http://photos.example.test/user/demo/"
TYPED_FOLDER = "photos.example.test_user_demo"  # the folder the typed address gets
ROOT_ENTRIES = ["[connection]", "[add bookmark]", "[choose language]", "settings", "Demo harbour",
                "Slow link"]
# The root in Russian: the package's language file, readable in a UTF-8 locale.
RUSSIAN_ROOT = ["[соединение]", "[добавить закладку]", "[выбрать язык]", "настройки",
                "Demo harbour"]
ALBUMS = ["Harbour at dawn", "Город"]
PHOTO = "boats.jpg"
SERVED_PHOTO = "demo/img.example.test/photos/harbour/boats.jpg"
# An album of the demo site's user "slow" with one photo of 4 MB sent 16 KB every 100 ms:
# its copy would take 25 s, and Cancel must end it long before.
SLOW_ALBUM = "photos.example.test/user/slow/album/big/index.html"
SLOW_PHOTO = "img.example.test/photos/big/slow.jpg"
SLOW_BYTES = 4 << 20
PROGRAMS = ["doublecmd", "xdotool", "xclip", "Xvfb", "xwd", "xwdtopnm", "pnmtopng"]

# Only plain keys: a modifier held by one key event and lost by the next is a known trouble
# of synthetic input, and every command the run needs can sit on a function key.
SHORTCUTS = """<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10">
  <Hotkeys Version="53">
    <Form Name="Main">
      <Hotkey><Shortcut>F5</Shortcut><Command>cm_Copy</Command></Hotkey>
      <Hotkey><Shortcut>F2</Shortcut><Command>cm_Exit</Command></Hotkey>
      <Hotkey><Shortcut>F12</Shortcut><Command>cm_OpenVirtualFileSystemList</Command></Hotkey>
      <Hotkey><Shortcut>F11</Shortcut><Command>cm_MarkMarkAll</Command></Hotkey>
      <Hotkey><Shortcut>F10</Shortcut><Command>cm_MarkUnmarkAll</Command></Hotkey>
      <Hotkey><Shortcut>F9</Shortcut><Command>cm_CopyNamesToClip</Command></Hotkey>
      <Hotkey><Shortcut>F7</Shortcut><Command>cm_ChangeDirToRoot</Command></Hotkey>
    </Form>
  </Hotkeys>
</doublecmd>
"""


class Failure(Exception):
    pass


class Run:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)
        self.processes = []
        self.display = None
        self.main_window = None
        self.dc = None
        self.shot = 0

    # ---- helpers ------------------------------------------------------------------------
    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def x(self, *command, check=True):
        """Runs an X tool on the private display; its standard output."""
        done = subprocess.run(command, env=self.env(), capture_output=True, text=True,
                              timeout=WAIT_LIMIT)
        if check and done.returncode != 0:
            raise Failure(f"{command[0]} failed: {done.stderr.strip()}")
        return done.stdout

    def wait_for(self, what, probe):
        """Polls probe until it gives a true value; fails with what after the limit."""
        deadline = time.monotonic() + WAIT_LIMIT
        while True:
            value = probe()
            if value:
                return value
            if self.dc and self.dc.poll() is not None:
                raise Failure(f"Double Commander ended (code {self.dc.returncode}) while waiting "
                              f"for {what}")
            if time.monotonic() > deadline:
                self.screenshot("timeout")
                raise Failure(f"gave up waiting for {what}")
            time.sleep(0.1)

    def screenshot(self, stage):
        self.shot += 1
        path = os.path.join(self.work, f"{self.shot:02d}-{stage}.png")
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.env(), capture_output=True)
        pnm = subprocess.run(["xwdtopnm"], input=xwd.stdout, capture_output=True)
        png = subprocess.run(["pnmtopng"], input=pnm.stdout, capture_output=True)
        with open(path, "wb") as f:
            f.write(png.stdout)
        print(f"screenshot: {path}")

    def windows(self):
        """The visible windows: (id, title)."""
        out = self.x("xdotool", "search", "--onlyvisible", "--name", ".", check=False)
        found = []
        for w in out.split():
            title = self.x("xdotool", "getwindowname", w, check=False).strip()
            found.append((w, title))
        return found

    def other_window(self, title_part):
        for w, title in self.windows():
            if w != self.main_window and title_part in title:
                return w
        return None

    def title(self):
        return self.x("xdotool", "getwindowname", self.main_window, check=False).strip()

    def keys(self, *names, window=None):
        self.x("xdotool", "windowfocus", "--sync", window or self.main_window)
        self.x("xdotool", "key", *names)

    def panel_names(self):
        """The names the active panel lists, read as the user's clipboard gets them."""
        # An empty clipboard first: names left from the stage before never count. xclip stays
        # to serve it until the file manager takes the clipboard over.
        subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WAIT_LIMIT)
        self.keys("F11", "F9", "F10")
        out = self.x("xclip", "-selection", "clipboard", "-o", check=False)
        return [line for line in out.splitlines() if line]

    def wait_for_names(self, what, wanted):
        def probe():
            names = self.panel_names()
            return names if all(w in names for w in wanted) else None
        names = self.wait_for(what, probe)
        print(f"{what}: {names}")
        return names

    def open_entry(self, names, name):
        """Moves the cursor to name (below the parent entry) and opens it."""
        self.keys("Home", *(["Down"] * (names.index(name) + 1)))
        self.keys("Return")

    def copy_entry(self, names, name, target, expected, stage):
        self.keys("Home", *(["Down"] * (names.index(name) + 1)))
        self.keys("F5")
        dialog = self.wait_for("the copy dialog", lambda: self.other_window("Copy"))
        self.screenshot(stage + "-dialog")
        self.keys("Return", window=dialog)

        def copied():
            try:
                with open(target, "rb") as f:
                    data = f.read()
            except OSError:
                return False
            return data == expected and not self.other_window("Cop")
        self.wait_for(f"{os.path.basename(target)} copied", copied)
        self.screenshot(stage)

    def cancel_copy(self, names, name, target):
        """Starts copying name, presses Cancel in the progress window once bytes arrive, and
        checks that the copy ends at once and leaves nothing in the target folder."""
        self.keys("Home", *(["Down"] * (names.index(name) + 1)))
        self.keys("F5")
        dialog = self.wait_for("the copy dialog", lambda: self.other_window("Copy"))
        self.keys("Return", window=dialog)
        progress = self.wait_for("the copy's progress window", lambda: self.other_window("Cop"))
        folder = os.path.dirname(target)
        # Bytes are arriving once the copy's temporary file is there.
        self.wait_for("the copy under way",
                      lambda: any(n.endswith(".part") for n in os.listdir(folder)))
        self.screenshot("slow-copy")
        cancelled = time.monotonic()
        self.keys("Escape", window=progress)

        # A copy that ignored Cancel would end only with the whole photo in place: the
        # verdict is what is left on disk, whatever the time taken.
        self.wait_for("the copy to end after Cancel", lambda: not self.other_window("Cop"))
        print(f"the copy ended {time.monotonic() - cancelled:.1f} s after Cancel")
        self.screenshot("slow-copy-cancelled")
        left = [n for n in os.listdir(folder) if n.startswith((name, "." + name))]
        if left:
            raise Failure(f"the cancelled copy left {left}")

    # ---- the run ------------------------------------------------------------------------
    def start_display(self):
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp"], pass_fds=(write,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)  # blocks until Xvfb is ready and names its display
                if not chunk:
                    raise Failure("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        print(f"display {self.display}")

    def start_server(self):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        self.port = s.getsockname()[1]
        s.close()
        # The demo site, and beside it the slow album.
        site = os.path.join(self.work, "site")
        shutil.copytree(os.path.join(self.args.source, "demo"), site)
        for path, data in ((SLOW_ALBUM, b'<html><body>\n<img class="photo" '
                            b'src="/photos/big/slow.jpg" alt="slow">\n</body></html>\n'),
                           (SLOW_PHOTO, b"\xff\xd8\xff\xe0" + b"s" * (SLOW_BYTES - 4)),
                           (SLOW_PHOTO + ".http", b"pace 16384 100\n")):
            os.makedirs(os.path.dirname(os.path.join(site, path)), exist_ok=True)
            with open(os.path.join(site, path), "wb") as f:
                f.write(data)
        ctl = os.path.join(self.args.source, "tests", "http", "server_ctl.sh")
        subprocess.run([ctl, "start", os.path.join(self.work, "http"), str(self.port), site],
                       check=True)

    def install_package(self):
        package = os.path.join(self.work, "frameleaf-linux.tar.gz")
        subprocess.run([sys.executable, os.path.join(self.args.source, "tools", "release",
                                                     "make_linux_package.py"),
                        "--source", self.args.source, "--build", self.args.release,
                        "--out", package], check=True)
        plugins = os.path.join(self.work, "plugins")
        with tarfile.open(package) as tar:
            names = tar.getnames()
            wanted = {"frameleaf/frameleaf.wfx", "frameleaf/frameleaf.dll",
                      "frameleaf/frameleaf.ini", "frameleaf/readme.txt",
                      "frameleaf/language/english.lng", "frameleaf/language/russian.lng"}
            if not wanted <= set(names) or any(not n.startswith("frameleaf") for n in names):
                raise Failure(f"the package holds {names}")
            windows = [n for n in names if n.endswith((".wfx64", "64.dll", ".exe"))]
            if windows:
                raise Failure(f"the Linux package holds Windows modules: {windows}")
            tar.extractall(plugins)
        folder = os.path.join(plugins, "frameleaf")
        # A user's bookmark, as "[add bookmark]" keeps it.
        with open(os.path.join(folder, "frameleaf.tab"), "wb") as f:
            f.write(b"[tabs]\r\ncount=2\r\n1=Demo harbour\r\n2=Slow link\r\n[Demo harbour]\r\n"
                    b"url=http://photos.example.test/user/demo/album/harbour/\r\n"
                    b"[Slow link]\r\nurl=http://photos.example.test/user/slow/album/big/\r\n")
        return folder

    def write_config(self, module):
        config = os.path.join(self.work, "config")
        os.makedirs(config)
        with open(os.path.join(config, "doublecmd.xml"), "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                    '<doublecmd DCVersion="1.0.10" ConfigVersion="13">\n'
                    '  <Behaviours><ShowCurDirTitleBar>True</ShowCurDirTitleBar></Behaviours>\n'
                    '  <Plugins><WfxPlugins><WfxPlugin Enabled="True"><Name>frameleaf</Name>'
                    f'<Path>{module}</Path></WfxPlugin></WfxPlugins></Plugins>\n'
                    '</doublecmd>\n')
        with open(os.path.join(config, "shortcuts.scf"), "w", encoding="utf-8") as f:
            f.write(SHORTCUTS)
        return config

    def start_doublecmd(self, config, target):
        home = os.path.join(self.work, "home")
        os.makedirs(home)
        env = self.env()
        env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                    "XDG_CACHE_HOME": os.path.join(home, ".cache"), "LC_ALL": "C.UTF-8",
                    "LANG": "C.UTF-8", "TZ": "UTC", "http_proxy": f"http://127.0.0.1:{self.port}",
                    "no_proxy": "", "NO_PROXY": ""})
        for name in ("https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            env.pop(name, None)
        log = open(os.path.join(self.work, "doublecmd.log"), "wb")
        self.dc = subprocess.Popen(["doublecmd", f"--config-dir={config}", target, target],
                                   cwd=target, env=env, stdout=log, stderr=subprocess.STDOUT)
        self.processes.append(self.dc)

        def main_window():
            for w, title in self.windows():
                if "Double Commander" in title and target in title:
                    return w
            return None
        self.main_window = self.wait_for("the main window", main_window)
        self.x("xdotool", "windowsize", self.main_window, "1200", "760")
        self.x("xdotool", "windowmove", self.main_window, "40", "20")

    def drive(self):
        os.makedirs(self.work)
        module_folder = self.install_package()
        module = os.path.join(module_folder, "frameleaf.wfx")
        target = os.path.join(self.work, "copies")
        os.makedirs(target)
        self.start_server()
        self.start_display()
        config = self.write_config(module)
        self.start_doublecmd(config, target)
        self.screenshot("started")

        self.keys("F12")
        names = self.wait_for_names("the virtual file systems list", ["frameleaf"])
        self.screenshot("file-systems")
        self.open_entry(names, "frameleaf")
        names = self.wait_for_names("the plug-in's root", ROOT_ENTRIES)
        self.screenshot("root")

        self.open_entry(names, "[connection]")
        prompt = self.wait_for("the address prompt", lambda: self.other_window(""))
        self.screenshot("address-prompt")
        # The prompt comes with its value selected: typing replaces it.
        self.x("xdotool", "windowfocus", "--sync", prompt)
        self.x("xdotool", "type", "--delay", "20", DEMO_ADDRESS)
        self.keys("Return", window=prompt)
        names = self.wait_for_names("the typed address's folder", [TYPED_FOLDER])
        self.screenshot("typed-folder")
        self.open_entry(names, TYPED_FOLDER)
        names = self.wait_for_names("the demo user's albums", ALBUMS)
        self.screenshot("albums")

        self.open_entry(names, ALBUMS[0])
        names = self.wait_for_names("the album's photos", [PHOTO])
        self.screenshot("photos")
        with open(os.path.join(self.args.source, SERVED_PHOTO), "rb") as f:
            served = f.read()
        self.copy_entry(names, PHOTO, os.path.join(target, PHOTO), served, "photo-copied")

        # Back to the plug-in's root (its parent "[connection]" would ask for an address
        # again), then the photo over a slow link, cancelled.
        self.keys("F7")
        names = self.wait_for_names("the plug-in's root again", ROOT_ENTRIES)
        self.open_entry(names, "Slow link")
        names = self.wait_for_names("the slow album", ["slow.jpg"])
        self.cancel_copy(names, "slow.jpg", os.path.join(target, "slow.jpg"))
        self.keys("F7")
        names = self.wait_for_names("the plug-in's root after the cancel", ROOT_ENTRIES)

        # The settings entry.
        with open(os.path.join(module_folder, "frameleaf.ini"), "rb") as f:
            settings = f.read()
        self.copy_entry(names, "settings", os.path.join(target, "settings"), settings,
                        "settings-copied")

        # The language switch: opening a language file chooses it; the root then shows the
        # Russian texts, which reach the file manager in the locale's character set.
        self.open_entry(names, "[choose language]")
        names = self.wait_for_names("the language files", ["english.lng", "russian.lng"])
        self.open_entry(names, "russian.lng")
        self.keys("F7")
        self.wait_for_names("the root in Russian", RUSSIAN_ROOT)
        self.screenshot("root-in-russian")

        self.keys("F2")  # cm_Exit, as Alt+X by default

        def ended():
            if self.dc.poll() is not None:
                return True
            blocker = self.other_window("")
            if blocker:
                self.screenshot("exit-refused")
                raise Failure(f"Double Commander did not exit: window \"{self.x('xdotool', 'getwindowname', blocker).strip()}\"")
            return False
        deadline = time.monotonic() + WAIT_LIMIT
        while not ended():
            if time.monotonic() > deadline:
                self.screenshot("timeout")
                self.backtrace()
                raise Failure("Double Commander did not exit")
            time.sleep(0.1)
        if self.dc.returncode != 0:
            raise Failure(f"Double Commander exited with code {self.dc.returncode}")
        # A copy that had only hidden its window would have finished by now, or kept
        # Double Commander from exiting.
        if os.path.exists(os.path.join(target, "slow.jpg")):
            raise Failure("the cancelled copy of slow.jpg went on to the end")
        print("Double Commander exited cleanly")

    def backtrace(self):
        """Where every thread of a program that does not end stands, for the report."""
        if not shutil.which("gdb"):
            return
        path = os.path.join(self.work, "doublecmd-threads.txt")
        with open(path, "w") as out:
            subprocess.run(["gdb", "-p", str(self.dc.pid), "-batch", "-ex",
                            "thread apply all bt 30"], stdout=out, stderr=subprocess.STDOUT,
                           timeout=WAIT_LIMIT)
        print(f"threads: {path}")

    def stop(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        ctl = os.path.join(self.args.source, "tests", "http", "server_ctl.sh")
        if os.path.isdir(os.path.join(self.work, "http")):
            subprocess.run([ctl, "stop", os.path.join(self.work, "http")])


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--source", required=True)
    p.add_argument("--release", required=True, help="the optimised Linux build folder")
    p.add_argument("--work", required=True)
    args = p.parse_args()
    args.source = os.path.abspath(args.source)
    args.release = os.path.abspath(args.release)
    missing = [name for name in PROGRAMS if not shutil.which(name)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (scripts/setup.sh installs them)")
        return 77
    if not os.path.isfile(os.path.join(args.release, "frameleaf.wfx")):
        print(f"skipped: no optimised build in {args.release} (scripts/build.sh makes it)")
        return 77
    shutil.rmtree(args.work, ignore_errors=True)
    run = Run(args)
    try:
        run.drive()
    except (Failure, subprocess.CalledProcessError) as e:
        print(f"FAIL: {e}")
        return 1
    finally:
        run.stop()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
