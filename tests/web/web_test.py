#!/usr/bin/env python3
"""The web page of ZARNOTH 3D in headless Chromium, served by a plain static server.

Cases, each against the page as a visitor gets it (no special headers):
  show       the page waits on its start screen, a key starts the show, which plays in
             real time and ends by itself after 82.32 s with the end picture shown
             (compared with the native shot of the end picture); the frames handed to
             Web Audio come to at least 80 s of sound
  shots      index.html?shot=TICK&fps=N for each reference tick against the native
             `zarnoth --shot TICK --fps N` picture (PSNR >= 30 dB, ImageMagick's compare)
  archives   a missing and a truncated quorvel.pak show the program's error text

Prints the measurements: download sizes, click to first picture, each scene's frames
per second. Exits non-zero on the first failing case.
"""
import argparse
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

import websocket

SHOW_SECONDS = 5880 * 14 / 1000.0  # the last switch tick at 14 ms a tick
MIN_PSNR = 30.0
SCENES = ["Parental picture", "oscilloscope and credits", "room", "tunnel ride", "EndSaRace picture"]
ERROR_TEXT = "Error creating application"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Page:
    """One browser tab driven through the DevTools protocol."""

    def __init__(self, debug_port):
        deadline = time.time() + 30
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{debug_port}/json/list") as r:
                    targets = [t for t in json.load(r) if t.get("type") == "page"]
                if targets:
                    break
            except OSError:
                pass
            if time.time() > deadline:
                raise RuntimeError("Chromium's DevTools did not answer")
            time.sleep(0.2)
        self.ws = websocket.create_connection(targets[0]["webSocketDebuggerUrl"], timeout=600)
        self.next_id = 0
        self.console = []
        self.call("Runtime.enable")
        self.call("Page.enable")

    def _handle(self, message):
        if message.get("method") == "Runtime.consoleAPICalled":
            args = message["params"]["args"]
            self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))
        elif message.get("method") == "Runtime.exceptionThrown":
            self.console.append("exception: " + json.dumps(message["params"]["exceptionDetails"])[:500])

    def call(self, method, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self._handle(message)

    def pump(self, seconds):
        """Handles the events that come in for a while."""
        self.ws.settimeout(seconds)
        end = time.time() + seconds
        try:
            while time.time() < end:
                self.ws.settimeout(max(0.01, end - time.time()))
                self._handle(json.loads(self.ws.recv()))
        except websocket.WebSocketTimeoutException:
            pass
        self.ws.settimeout(600)

    def eval(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def goto(self, url):
        self.console = []
        self.call("Page.navigate", url=url)

    def wait_for(self, expression, timeout, poll=0.25):
        end = time.time() + timeout
        while time.time() < end:
            value = self.eval(expression)
            if value:
                return value
            self.pump(poll)
        raise TimeoutError(f"waited {timeout} s for {expression}; console:\n" + "\n".join(self.console[-30:]))

    def press_key(self):
        for kind in ("keyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=" ", code="Space", windowsVirtualKeyCode=32,
                      nativeVirtualKeyCode=32)


def psnr(a, b):
    """ImageMagick's PSNR of two pictures (dB; inf when they are the same)."""
    run = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    text = run.stderr.strip().split()[0] if run.stderr.strip() else ""
    if run.returncode not in (0, 1) or not text:
        raise RuntimeError(f"compare {a} {b}: {run.stderr}")
    return float("inf") if text == "inf" else float(text)


def native_shot(native, tick, fps, out):
    subprocess.run([native, "--shot", str(tick), "--fps", str(fps), "-o", out], check=True, timeout=900,
                   env=dict(os.environ, ZARNOTH_NO_MESSAGE_BOX="1"), stdout=subprocess.DEVNULL)


def save_data_url(url, path):
    with open(path, "wb") as f:
        f.write(base64.b64decode(url.split(",", 1)[1]))


def make_sites(site, work):
    """The site as built, one without the archive and one with half of it."""
    sites = {"full": site}
    for name in ("missing", "truncated"):
        folder = os.path.join(work, "site-" + name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for f in os.listdir(site):
            if f != "quorvel.pak":
                os.symlink(os.path.join(site, f), os.path.join(folder, f))
        sites[name] = folder
    with open(os.path.join(site, "quorvel.pak"), "rb") as f:
        data = f.read()
    with open(os.path.join(sites["truncated"], "quorvel.pak"), "wb") as f:
        f.write(data[: len(data) // 2])
    return sites


def case_show(page, base, native, work):
    page.goto(base + "/site/index.html")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    started = page.eval("document.title")
    page.press_key()
    t0 = time.time()
    page.wait_for("zarnothPage.state === 'playing'", 30)
    page.wait_for("zarnothPage.state === 'ended' || zarnothPage.state === 'error'", SHOW_SECONDS + 120, poll=1.0)
    seconds = time.time() - t0
    state = page.eval("zarnothPage.state")
    if state != "ended":
        raise AssertionError("the show did not end by itself: " + "\n".join(page.console[-30:]))
    print(f"show: ended by itself after {seconds:.1f} s (the show lasts {SHOW_SECONDS:.2f} s)")
    if not (SHOW_SECONDS - 0.5 <= seconds <= SHOW_SECONDS + 20):
        raise AssertionError(f"the show took {seconds:.1f} s, not {SHOW_SECONDS:.2f} s of real time")
    frames = page.eval("zarnothPage.soundFrames()")
    rate = page.eval("Module.zarnothSoundRate || 0")
    print(f"sound: {frames} frames handed to Web Audio at {rate} Hz = {frames / max(rate, 1):.1f} s")
    if rate <= 0 or frames < 80 * rate:
        raise AssertionError("less than 80 s of sound reached Web Audio")
    visible = page.eval("!document.getElementById('end-picture').classList.contains('hidden') && "
                        "!document.getElementById('again').classList.contains('hidden')")
    if not visible:
        raise AssertionError("the end picture and 'play again' are not shown")
    end_png = os.path.join(work, "end-picture.png")
    save_data_url(page.eval("document.getElementById('end-picture').src"), end_png)
    native_png = os.path.join(work, "native-end.png")
    native_shot(native, 5870, 10, native_png)
    quality = psnr(end_png, native_png)
    print(f"end picture: PSNR {quality:.1f} dB against the native shot of tick 5870")
    if quality < MIN_PSNR:
        raise AssertionError("the end picture is not the show's last picture")
    # "Play again" starts the show once more on the same page.
    page.eval("document.getElementById('again').click()")
    page.wait_for("zarnothPage.state === 'playing' && "
                  "document.getElementById('end-picture').classList.contains('hidden')", 30)
    page.pump(1.0)
    if sum("zarnoth: started" in line for line in page.console) != 2:
        raise AssertionError("'play again' did not start the show again: " + "\n".join(page.console[-20:]))
    print("play again: the show started again")
    result = page.eval("zarnothPage.result")
    print(f"click to first picture: {result['startup']:.3f} s")
    for name, scene in zip(SCENES, result["scenes"]):
        fps = scene["frames"] / scene["seconds"] if scene["seconds"] > 0 else 0.0
        print(f"  scene {name:26s} {scene['frames']:6d} frames in {scene['seconds']:6.2f} s: {fps:6.1f} fps")
    return started


def case_shots(page, base, native, reference, work):
    for name in sorted(os.listdir(reference)):
        if not (name.startswith("shot_") and name.endswith(".png")):
            continue
        tick, fps = name[len("shot_"):-len(".png")].split("_fps")
        page.goto(f"{base}/site/index.html?shot={tick}&fps={fps}")
        t0 = time.time()
        page.wait_for("window.zarnothPage && (zarnothPage.state === 'shot' || zarnothPage.state === 'error')", 600)
        if page.eval("zarnothPage.state") != "shot" or page.eval("document.title") != "ZARNOTH 3D - shot ready":
            raise AssertionError(f"shot {tick}: no picture: " + "\n".join(page.console[-20:]))
        if not any("shot ready" in line for line in page.console):
            raise AssertionError(f"shot {tick}: the console did not say it was ready")
        web_png = os.path.join(work, f"web_{tick}_fps{fps}.png")
        with open(web_png, "wb") as f:
            f.write(base64.b64decode(page.eval(
                "(() => { let s = ''; for (const b of zarnothPage.shotPNG) s += String.fromCharCode(b); return btoa(s); })()")))
        native_png = os.path.join(work, f"native_{tick}_fps{fps}.png")
        native_shot(native, int(tick), int(fps), native_png)
        quality = psnr(web_png, native_png)
        print(f"shot {tick} at {fps} fps: PSNR {quality:.1f} dB against the native shot ({time.time() - t0:.1f} s)")
        if quality < MIN_PSNR:
            raise AssertionError(f"shot {tick}: PSNR {quality:.1f} dB < {MIN_PSNR} dB")


def case_archives(page, base):
    for name, needs_key in (("missing", False), ("truncated", True)):
        page.goto(f"{base}/site-{name}/index.html")
        if needs_key:
            page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
            page.press_key()
        page.wait_for("window.zarnothPage && zarnothPage.state === 'error'", 120)
        shown = page.eval("document.getElementById('messages').textContent")
        visible = page.eval("!document.getElementById('messages').classList.contains('hidden')")
        print(f"{name} archive: the page shows {shown!r}")
        if ERROR_TEXT not in shown or not visible:
            raise AssertionError(f"{name} archive: the program's error text is not on the page")
        if not any(ERROR_TEXT in line for line in page.console):
            raise AssertionError(f"{name} archive: the console lacks the error text")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cases", default="archives,shots,show")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    site = os.path.abspath(args.site)
    native = os.path.abspath(args.native)

    for f in ("zarnoth.wasm", "zarnoth.js", "zarnoth_page.js", "index.html", "quorvel.pak"):
        print(f"download: {f:16s} {os.path.getsize(os.path.join(site, f)):10d} bytes")

    root = os.path.join(work, "root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    sites = make_sites(site, root)
    os.symlink(site, os.path.join(root, "site"))
    http_port = free_port()
    server = subprocess.Popen([sys.executable, "-m", "http.server", str(http_port), "--bind", "127.0.0.1"],
                              cwd=root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    debug_port = free_port()
    profile = tempfile.mkdtemp(prefix="zarnoth-chromium-")
    browser = subprocess.Popen([args.chromium, "--headless=new", "--no-sandbox", "--enable-unsafe-swiftshader",
                                "--autoplay-policy=no-user-gesture-required", "--no-first-run",
                                "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                                f"--user-data-dir={profile}", f"--remote-debugging-port={debug_port}",
                                "--window-size=800,600", "about:blank"],
                               stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "chromium.log"), "w"))
    try:
        page = Page(debug_port)
        base = f"http://127.0.0.1:{http_port}"
        cases = args.cases.split(",")
        if "archives" in cases:
            case_archives(page, base)
        if "shots" in cases:
            case_shots(page, base, native, os.path.abspath(args.reference), work)
        if "show" in cases:
            case_show(page, base, native, work)
    finally:
        browser.terminate()
        server.terminate()
        browser.wait()
        server.wait()
        shutil.rmtree(profile, ignore_errors=True)
    print("web tests: all cases passed")


if __name__ == "__main__":
    main()
