#!/usr/bin/env python3
"""The web page of ZARNOTH 3D in a headless browser, served by a plain static server.

--browser chromium (its DevTools protocol), firefox (WebDriver BiDi) or webkit
(WebKitGTK's MiniBrowser through WebKitWebDriver; the last two need an X display for
WebGL and a sound server, see tests/web/browsers.py); each case is written once against
the page interface of browsers.py. Cases, each against the page as a visitor gets it (no
special headers):
  show       the page waits on its start screen, a key starts the show, which plays in
             real time; a few seconds in, another tab comes to the front (the page is
             hidden for real: no animation frames) and the show must pause (its tick
             holds, the AudioContext is suspended, no sound frames go out) and go on
             from there when the page is in front again; the show ends by itself
             after 82.32 s plus the hidden time with the end picture shown (compared
             with the native shot of the end picture), and the frames handed to Web
             Audio by then match the show's ticks (music and pictures in step)
  viewer     a tap starts the show; Space pauses it; the keys 4 and Right and a click
             on the timeline seek, and the paused canvas shows the native `zarnoth
             --shot TICK` picture of the tick reached (PSNR >= 30 dB); the keys do not
             scroll the page; the timeline shows on activity and hides again; seeks
             asked of the page across the show are timed (request to picture)
  shots      index.html?shot=TICK for each reference tick against the native `zarnoth
             --shot TICK` picture (PSNR >= 30 dB, ImageMagick's compare), with nothing
             over the picture; a tick in the oscilloscope's hold gives the same bytes
             at &fps=10 as at the default rate
  archives   a missing and a truncated quorvel.pak show the program's error text
  addresses  bad values in the address (?shot=-1, ?fps=0, ?shot=99999, ?fps=abc,
             ?slow=-5 ...) end at once in the error state with the line the native
             command line prints for the same options (the page's own switches: their
             option and range)
  touch      (Chromium: an emulated phone) the picture is letterboxed 4:3 in portrait
             and in landscape; a tap starts the show, a tap shows the timeline and a
             tap on it seeks
  second     the second show's page (examples/your_own_show, built from the tree): its
             title and chapter marks come from its program; index.html?shot=TICK at a
             tick a third into each chapter (from the program's page info) against the
             native second show's --shot TICK (PSNR >= 40 dB), which reads the page's
             own archive
  soak       a few hundred random keys (Space, Left, Right, Home, 1-5) and timeline
             clicks on the paused show, each checked against the tick the show's own
             rules give (and the canvas against the native picture for a few)
  slow       the whole show on a page kept busy in every pass (?slow=30): the music
             heard ends at the end tick's sample, not a frame later, without a gap
  fallback   the ScriptProcessor path (?audio=script) plays ten seconds in step

Prints the measurements: download sizes, click to first picture, each scene's frames
per second, seek times. Exits non-zero on the first failing case, and when the browser
is not installed under CI=true (elsewhere that is a skip).
"""
import argparse
import base64
import contextlib
import fcntl
import os
import random
import shutil
import socket
import subprocess
import sys
import time

from browsers import find_browser, launch

TICK_MS = 14
END_TICK = 5880
SHOW_SECONDS = END_TICK * TICK_MS / 1000.0  # the last switch tick at 14 ms a tick
SCENE_TICKS = [0, 280, 1120, 2870, 5530]
SEEK_TICKS = 5000 // TICK_MS  # Left/Right
HIDDEN_SECONDS = 4.0
# Music and pictures in step at the end: the sound handed out against the show's time.
# Web Audio's own buffering is far below this; a show that ran on (or stood) while its
# page was hidden misses it by about HIDDEN_SECONDS.
STEP_TOLERANCE_SECONDS = 0.5
MIN_PSNR = 30.0
# The second show's pictures are plain (a textured quad fading in, one model, no fog):
# its page's shots score 53 to 62 dB against the native ones, while the fade 10 ticks
# off still scores 31 dB and the model one tick off 39 dB, which this tells apart.
SECOND_MIN_PSNR = 40.0
# The music of a whole show against the soundtrack's part; a page thread kept busy this
# long in every frame (the worklet must still play without a gap).
MUSIC_TOLERANCE_SECONDS = 0.1
# The worklet reports what it played every 512 frames, counted a whole chunk (at most
# 1024 frames) at a time; in a hidden tab its last report before the suspension can
# reach the page late. What such reports may still add is at most this.
LATE_REPORT_FRAMES = 2048
SLOW_MS = 30
SCENES = ["Parental picture", "oscilloscope and credits", "room", "tunnel ride", "EndSaRace picture"]
ERROR_TEXT = "Error creating application"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def psnr(a, b):
    """ImageMagick's PSNR of two pictures (dB; inf when they are the same)."""
    run = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True)
    text = run.stderr.strip().split()[0] if run.stderr.strip() else ""
    if run.returncode not in (0, 1) or not text:
        raise RuntimeError(f"compare {a} {b}: {run.stderr}")
    return float("inf") if text == "inf" else float(text)


def native_shot(native, tick, out):
    subprocess.run([native, "--shot", str(tick), "-o", out], check=True, timeout=900,
                   env=dict(os.environ, ZARNOTH_NO_MESSAGE_BOX="1"), stdout=subprocess.DEVNULL)


def status(page):
    return page.eval("zarnothPage.status()")


def save_canvas(page, path):
    save_data_url(page.eval("document.getElementById('canvas').toDataURL('image/png')"), path)


def compare_native(page, native, work, tick, what):
    """The paused canvas against the native shot of the tick."""
    web_png = os.path.join(work, f"viewer_{what}_{tick}.png")
    save_canvas(page, web_png)
    native_png = os.path.join(work, f"native_{tick}.png")
    if not os.path.exists(native_png):
        native_shot(native, tick, native_png)
    quality = psnr(web_png, native_png)
    print(f"viewer: {what} to tick {tick}: PSNR {quality:.1f} dB against the native shot")
    if quality < MIN_PSNR:
        raise AssertionError(f"{what}: the picture of tick {tick} is not the native one ({quality:.1f} dB)")


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


def wait_tick(page, condition, timeout, poll=0.1):
    """Waits until condition(tick, paused) holds for the show's status; the status."""
    end = time.time() + timeout
    while True:
        st = status(page)
        if condition(int(st.get("tick", -1)), int(st.get("paused", 0))):
            return st
        if time.time() > end:
            raise TimeoutError(f"the show's status stays {st}; console:\n" + "\n".join(page.console[-20:]))
        page.pump(poll)


# The music the whole show plays: the soundtrack up to the show's end, where the show
# stops it (the soundtrack is longer). Decoded by ffprobe from the archive's member.
def show_music_seconds(native, site, work):
    kvl = os.path.join(os.path.dirname(native), "kvl")
    mp3 = os.path.join(work, "soundtrack.mp3")
    subprocess.run([kvl, "pak", "extract", os.path.join(site, "quorvel.pak"), "snd\\qv.mp3", mp3], check=True,
                   stdout=subprocess.DEVNULL)
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", mp3],
                           capture_output=True, text=True, check=True)
    length = float(probe.stdout.strip())
    print(f"soundtrack: {length:.3f} s; the show plays {min(length, SHOW_SECONDS):.3f} s of it")
    return min(length, SHOW_SECONDS)


# The longest stand of the browser's audio thread that the worklet had to make up at once
# (ms; 0 in the other path).
STALL = "Math.round(Module.zarnothAudioStallMs || 0)"


def check_sound(end, stall_ms, what, music_seconds, path=None):
    """The sound's counts at the end of a whole show (zarnothPage.endSound): the music
    played against the soundtrack's part, no silence bridged, and in the worklet path no
    gap. stall_ms: the longest stand of the audio thread made up at once (printed: the
    page's lead and hold are sized against it)."""
    rate = max(end["rate"], 1)
    music = end["music"] / rate
    print(f"{what}: sound through the {end['path']} node: music played {music:.3f} s (the show's part of the "
          f"soundtrack {music_seconds:.3f} s), silence bridged {end['bridged']} frames, worklet starved "
          f"{end['starved']} frames" + (f", its longest stand {stall_ms} ms" if end["path"] == "worklet" else ""))
    if path is not None and end["path"] != path:
        raise AssertionError(f"{what}: the sound took the {end['path']} path, not the {path} one")
    if abs(music - music_seconds) > MUSIC_TOLERANCE_SECONDS:
        raise AssertionError(f"{what}: {music:.3f} s of music played for {music_seconds:.3f} s of soundtrack")
    if end["bridged"] != 0 or end["starved"] != 0:
        raise AssertionError(f"{what}: gaps in the music ({end['bridged']} frames bridged, {end['starved']} starved)")


@contextlib.contextmanager
def whole_show_slot(page, folder, need=1, slots=2):
    """Holds need of a few slots shared by the browsers that run at once (lock files in
    folder), so that no more than that many pages play a whole show together: three busy
    pages on two cores starve each other's sound. Slots are taken one at a time and kept
    until all are held (give only one browser a need over one, so that none waits on
    another forever). Waits on an empty page."""
    if not folder:
        yield
        return
    os.makedirs(folder, exist_ok=True)
    page.goto("about:blank")
    waited = time.time()
    held = []
    try:
        while len(held) < need:
            for i in range(slots):
                if len(held) == need or any(name == i for name, _ in held):
                    continue
                handle = open(os.path.join(folder, f"slot{i}"), "w")
                try:
                    fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    held.append((i, handle))
                except BlockingIOError:
                    handle.close()
            if len(held) < need:
                time.sleep(0.5)
        if time.time() - waited > 1:
            print(f"waited {time.time() - waited:.0f} s for {need} whole-show slot(s)")
        yield
    finally:
        for _, handle in held:
            handle.close()

def case_whole(page, base, query, what, music_seconds, path):
    """The whole show, untouched, on a page the query makes (test switches)."""
    page.goto(base + "/site/index.html?" + query)
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    page.press_key()
    t0 = time.time()
    page.wait_for("zarnothPage.state === 'ended' || zarnothPage.state === 'error'", SHOW_SECONDS + 120, poll=1.0)
    if page.eval("zarnothPage.state") != "ended":
        raise AssertionError(f"{what}: the show did not end by itself: " + "\n".join(page.console[-30:]))
    print(f"{what}: ended after {time.time() - t0:.1f} s")
    end = page.eval("zarnothPage.endSound")
    check_sound(end, page.eval(STALL), what, music_seconds, path)
    # Untouched, the music stops at the end tick's sample however late the page's pass
    # that sees the end comes (a slow page's come late): not one frame more is heard.
    # (Fewer by the end are the worklet's reports still on their way, a few hundred
    # frames; check_sound bounds the shortfall.)
    last = round(music_seconds * end["rate"])
    print(f"{what}: {end['music']} frames of music heard, the show's part is {last}")
    if end["music"] > last:
        raise AssertionError(f"{what}: {end['music']} frames of music heard for the show's {last}")
    result = page.eval("zarnothPage.result")
    print(f"{what}: " + ", ".join(f"{scene['frames'] / scene['seconds']:.1f}" if scene["seconds"] > 0 else "0"
                                  for scene in result["scenes"]) + " pictures/s by scene")


def case_fallback(page, base, what):
    """The ScriptProcessor fallback plays the music: ten seconds of it."""
    page.goto(base + "/site/index.html?audio=script")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    page.press_key()
    at = wait_tick(page, lambda tick, paused: tick >= 10000 // TICK_MS, 60)
    sound = page.eval("zarnothPage.sound()")
    music = sound["music"] / max(sound["rate"], 1)
    show = at["tick"] * TICK_MS / 1000.0
    print(f"{what}: {sound['path']} node, {music:.2f} s of music played at {show:.2f} s of show, "
          f"{sound['bridged']} frames bridged")
    if sound["path"] != "script" or abs(music - show) > STEP_TOLERANCE_SECONDS:
        raise AssertionError(f"{what}: the fallback did not play the music in step: {sound}")
    page.goto("about:blank")


def case_show(page, base, native, work, music_seconds):
    page.goto(base + "/site/index.html")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    started = page.eval("document.title")
    page.press_key()
    t0 = time.time()
    page.wait_for("zarnothPage.state === 'playing'", 30)
    # Hidden a few seconds in (in the oscilloscope scene, whose picture the music moves).
    wait_tick(page, lambda tick, paused: tick >= 400, 60)
    # How far the sound handed out is ahead of the pictures before the page is hidden
    # (Web Audio's buffers and start-up).
    before = page.eval("({tick: zarnothPage.status().tick, frames: zarnothPage.soundFrames(), "
                       "rate: Module.zarnothSoundRate || 0})")
    offset_before = before["frames"] / max(before["rate"], 1) - before["tick"] * TICK_MS / 1000.0
    other = page.hide()
    page.pump(0.5)
    audio_clock = "(Module.zarnothSound ? Module.zarnothSound.context.currentTime : -1)"
    hidden = page.eval("({tick: zarnothPage.status().tick, frames: zarnothPage.soundFrames(), "
                       "audio: Module.zarnothSound ? Module.zarnothSound.context.state : 'none', "
                       f"clock: {audio_clock}, "
                       "pauses: zarnothPage.hiddenPauses, visibility: document.visibilityState})")
    page.pump(HIDDEN_SECONDS - 0.5)
    frames_hidden = page.eval("zarnothPage.soundFrames()")
    clock_hidden = page.eval(audio_clock)
    page.show(other)
    shown = wait_tick(page, lambda tick, paused: not paused and tick > hidden["tick"], 10)
    print(f"hidden page: at tick {hidden['tick']} for {HIDDEN_SECONDS:.1f} s ({hidden['visibility']}, "
          f"AudioContext {hidden['audio']}); shown again it went on at tick {shown['tick']}")
    if hidden["visibility"] != "hidden" or hidden["pauses"] != 1 or hidden["audio"] != "suspended":
        raise AssertionError(f"the hidden page did not pause its show: {hidden}")
    # The browser's own audio clock stands while suspended: nothing was rendered.
    if clock_hidden != hidden["clock"]:
        raise AssertionError(f"sound went on while the page was hidden (audio clock {hidden['clock']} -> {clock_hidden})")
    if not 0 <= frames_hidden - hidden["frames"] <= LATE_REPORT_FRAMES:
        raise AssertionError(f"sound went on while the page was hidden ({frames_hidden - hidden['frames']} frames)")
    if frames_hidden != hidden["frames"]:
        print(f"hidden page: {frames_hidden - hidden['frames']} frames played before the suspension were reported late")
    # The show goes on from where it was hidden, not from where the clock would be.
    if shown["tick"] > hidden["tick"] + int(1000 / TICK_MS):
        raise AssertionError(f"the show jumped from tick {hidden['tick']} to {shown['tick']} while hidden")
    page.wait_for("zarnothPage.state === 'ended' || zarnothPage.state === 'error'",
                  SHOW_SECONDS + HIDDEN_SECONDS + 120, poll=1.0)
    seconds = time.time() - t0
    state = page.eval("zarnothPage.state")
    if state != "ended":
        raise AssertionError("the show did not end by itself: " + "\n".join(page.console[-30:]))
    expected = SHOW_SECONDS + HIDDEN_SECONDS
    print(f"show: ended by itself after {seconds:.1f} s (the show lasts {SHOW_SECONDS:.2f} s, "
          f"hidden {HIDDEN_SECONDS:.1f} s)")
    if not (expected - 0.5 <= seconds <= expected + 20):
        raise AssertionError(f"the show took {seconds:.1f} s, not {expected:.2f} s of real time")
    # The sound by the end ("play again" starts its count anew); checked last.
    end_sound = page.eval("zarnothPage.endSound")
    stall_ms = page.eval(STALL)
    frames = page.eval("zarnothPage.endSoundFrames")
    rate = page.eval("Module.zarnothSoundRate || 0")
    visible = page.eval("!document.getElementById('end-picture').classList.contains('hidden') && "
                        "!document.getElementById('again').classList.contains('hidden')")
    if not visible:
        raise AssertionError("the end picture and 'play again' are not shown")
    end_png = os.path.join(work, "end-picture.png")
    save_data_url(page.eval("document.getElementById('end-picture').src"), end_png)
    native_png = os.path.join(work, "native-end.png")
    native_shot(native, 5870, native_png)
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
    # The sound last: the other results are known (and printed) when it fails.
    print(f"sound: {frames} frames handed to Web Audio at {rate} Hz = {frames / max(rate, 1):.2f} s "
          f"by the end of the show at {SHOW_SECONDS:.2f} s (tick {END_TICK})")
    offset_end = frames / max(rate, 1) - SHOW_SECONDS
    print(f"sound ahead of the pictures: {offset_before * 1000:.0f} ms before the page was hidden, "
          f"{offset_end * 1000:.0f} ms at the end")
    # Gaps first: bridged silence also puts the count of frames handed out ahead of the
    # show, and a failure should name the gap, not a drift.
    check_sound(end_sound, stall_ms, "show", music_seconds)
    if rate <= 0 or abs(offset_end) > STEP_TOLERANCE_SECONDS or abs(offset_end - offset_before) > 0.25:
        raise AssertionError(f"music and pictures are not in step at the end: {frames / max(rate, 1):.2f} s of "
                             f"sound for {SHOW_SECONDS:.2f} s of show")
    return started


def case_viewer(page, base, native, work):
    page.goto(base + "/site/index.html")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    # The timeline's chapter marks come from the program's description of the show.
    marks = page.eval("[...document.querySelectorAll('.scene-mark')].map((m) => Number(m.dataset.tick))")
    if marks != SCENE_TICKS[1:]:
        raise AssertionError(f"the timeline marks the chapters at ticks {marks}, not {SCENE_TICKS[1:]}")
    # Records whether the page kept each key from its default action (scrolling).
    page.eval("window.keyDefaults = []; window.addEventListener('keydown', "
              "(e) => keyDefaults.push([e.key, e.defaultPrevented])); "
              "window.touchEnds = 0; window.addEventListener('touchend', () => touchEnds++, true)")
    page.tap(400, 300)
    page.wait_for("zarnothPage.state === 'playing'", 30)
    if page.touch:
        if page.eval("touchEnds") < 1:
            raise AssertionError("the tap reached the page as no touch (a click started the show)")
        print("viewer: a tap started the show")
    else:
        print(f"viewer: a click started the show ({page.name}'s driver has no touch screen)")
    wait_tick(page, lambda tick, paused: tick >= 100, 30)
    page.press_key(" ")
    held = wait_tick(page, lambda tick, paused: paused == 1, 5)
    page.pump(0.5)
    if status(page)["tick"] != held["tick"]:
        raise AssertionError("Space did not hold the show")
    # Keys: to the tunnel's first tick, then 5 s on. (Not into the oscilloscope scene:
    # its picture is drawn from the live music, whose play position on the page is
    # Web Audio's.)
    page.press_key("4")
    wait_tick(page, lambda tick, paused: tick == SCENE_TICKS[3], 10)
    compare_native(page, native, work, SCENE_TICKS[3], "key 4")
    page.press_key("ArrowRight")
    to = SCENE_TICKS[3] + SEEK_TICKS
    wait_tick(page, lambda tick, paused: tick == to, 10)
    compare_native(page, native, work, to, "key Right")
    # The timeline shows on mouse movement; a click on it seeks.
    page.move(300, 300)
    page.pump(0.2)
    box = page.eval("(() => { const r = document.getElementById('track').getBoundingClientRect(); "
                    "const t = document.getElementById('timeline'); "
                    "return {x: r.left, y: r.top + r.height / 2, w: r.width, "
                    "shown: !t.classList.contains('hidden') && !t.classList.contains('faded')}; })()")
    if not box["shown"]:
        raise AssertionError("the timeline did not show on mouse movement")
    x = box["x"] + box["w"] * 0.7
    page.click(x, box["y"])
    page.wait_for("zarnothPage.seeks.length === 1", 10, poll=0.05)
    seek = page.eval("zarnothPage.seeks[0]")
    wait_tick(page, lambda tick, paused: tick == seek["tick"], 5)
    if abs(seek["tick"] - 0.7 * END_TICK) > END_TICK * 0.02:
        raise AssertionError(f"a click at 70 % of the timeline went to tick {seek['tick']}")
    compare_native(page, native, work, seek["tick"], "timeline click")
    presses = [p for p in page.eval("keyDefaults") if p[0] in (" ", "ArrowLeft", "ArrowRight", "Home")]
    if not presses or not all(prevented for key, prevented in presses):
        raise AssertionError(f"the page let keys act on the page: {presses}")
    if page.eval("window.scrollY") != 0:
        raise AssertionError("the page scrolled")
    # The seek time on the page: request to the picture drawn, across the show.
    times = []
    # Forward from where the show is, back (the show starts again), and the longest:
    # from near the start to the end picture.
    for tick in (300, 2000, 4000, 5600, 100, 5870, 1000):
        page.eval(f"zarnothPage.seek({tick})")
        page.wait_for(f"zarnothPage.seeks.length === {len(times) + 2}", 30, poll=0.02)
        done = page.eval("zarnothPage.seeks[zarnothPage.seeks.length - 1]")
        times.append((tick, done["ms"]))
    print("seek on the page (request to picture drawn, paused): " +
          ", ".join(f"tick {t} {ms:.0f} ms" for t, ms in times) +
          f"; longest {max(ms for _, ms in times):.0f} ms")
    page.wait_for("document.getElementById('timeline').classList.contains('faded')", 6)
    print("viewer: the timeline hid again after a few seconds")
    # Space goes on.
    page.press_key(" ")
    wait_tick(page, lambda tick, paused: paused == 0 and tick > 1000 + 30, 10)
    print("viewer: Space went on with the show")
    page.goto("about:blank")


def canvas_box(page):
    return page.eval("(() => { const r = document.getElementById('canvas').getBoundingClientRect(); "
                     "return {x: r.left, y: r.top, w: r.width, h: r.height, "
                     "vw: window.innerWidth, vh: window.innerHeight}; })()")


def case_touch(page, base):
    """A phone, upright and on its side: the picture 4:3 and as large as fits, centred;
    taps start the show, show the timeline and seek on it."""
    for width, height in ((390, 844), (844, 390)):
        page.emulate_phone(width, height)
        page.goto(base + "/site/index.html")
        page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
        box = canvas_box(page)
        fit_w, fit_h = min(width, height * 4 / 3), min(height, width * 3 / 4)
        print(f"touch {width}x{height}: the picture {box['w']:.1f}x{box['h']:.1f} at "
              f"({box['x']:.1f}, {box['y']:.1f}) in a {box['vw']}x{box['vh']} viewport")
        if (box["vw"], box["vh"]) != (width, height):
            raise AssertionError(f"touch: the viewport is {box['vw']}x{box['vh']}, not {width}x{height}")
        if abs(box["w"] - fit_w) > 1 or abs(box["h"] - fit_h) > 1:
            raise AssertionError(f"touch {width}x{height}: the picture is not 4:3 as large as fits: {box}")
        if abs(box["x"] - (width - box["w"]) / 2) > 1 or abs(box["y"] - (height - box["h"]) / 2) > 1:
            raise AssertionError(f"touch {width}x{height}: the picture is not centred: {box}")
    # On its side: a tap starts the show, one on the picture shows the timeline, one on
    # the timeline's track seeks there.
    page.tap(width / 2, height / 2)
    page.wait_for("zarnothPage.state === 'playing'", 30)
    wait_tick(page, lambda tick, paused: tick >= 50, 30)
    page.wait_for("document.getElementById('timeline').classList.contains('faded')", 10)
    page.tap(width / 2, height / 3)
    page.wait_for("!document.getElementById('timeline').classList.contains('faded')", 5, poll=0.05)
    track = page.eval("(() => { const r = document.getElementById('track').getBoundingClientRect(); "
                      "return {x: r.left, y: r.top + r.height / 2, w: r.width}; })()")
    x = int(track["x"] + track["w"] * 0.6)
    page.tap(x, track["y"])
    page.wait_for("zarnothPage.seeks.length === 1", 10, poll=0.05)
    seek = page.eval("zarnothPage.seeks[0]")
    expected = round((x - track["x"]) / track["w"] * END_TICK)
    print(f"touch: a tap on the timeline at {(x - track['x']) / track['w']:.3f} of it went to tick {seek['tick']}")
    if abs(seek["tick"] - expected) > 1:
        raise AssertionError(f"touch: a tap on the timeline went to tick {seek['tick']}, not {expected}")
    page.emulate_phone(None, None)
    page.goto("about:blank")


SOAK_STEPS = 300
SOAK_SECONDS = 45
SOAK_SHOTS = 3


def case_soak(page, base, native, work):
    """Random keys and timeline clicks; after each, the show's tick against what its
    rules give (show/zrn_showviewer.cpp: Left/Right 5 s clamped to the show, Home and 1-5 the
    scenes' first ticks; the timeline's fraction of the show). The show stays paused but
    for a short play now and then, which must move it on by about the time it played."""
    seed = int(os.environ.get("ZARNOTH_SOAK_SEED", random.randrange(1 << 30)))
    rng = random.Random(seed)
    page.goto(base + "/site/index.html")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    page.press_key()
    wait_tick(page, lambda tick, paused: tick >= 20, 30)
    page.press_key(" ")
    tick = wait_tick(page, lambda t, paused: paused == 1, 5)["tick"]
    last = END_TICK - 1
    track_box = ("(() => { const r = document.getElementById('track').getBoundingClientRect(); "
                 "return {x: r.left, y: r.top + r.height / 2, w: r.width}; })()")
    counts = {}
    shots = []
    shot_steps = set(rng.sample(range(SOAK_STEPS // 4, SOAK_STEPS), SOAK_SHOTS * 4))
    t0 = time.time()
    steps = 0
    moved = 0
    for steps in range(1, SOAK_STEPS + 1):
        if time.time() - t0 > SOAK_SECONDS:
            steps -= 1
            break
        op = rng.choice(["Left", "Right", "Home", "1", "2", "3", "4", "5", "timeline", "timeline", "play"])
        if op == "play" and tick > last - 300:
            op = "Home"  # a play must not reach the end of the show
        counts[op] = counts.get(op, 0) + 1
        before = tick
        if op == "play":
            page.press_key(" ")
            wait_tick(page, lambda t, paused: paused == 0, 5, poll=0.02)
            started = time.time()
            page.pump(rng.uniform(0.5, 1.0))
            page.press_key(" ")
            st = wait_tick(page, lambda t, paused: paused == 1, 5, poll=0.02)
            played = time.time() - started
            tick = st["tick"]
            moved += tick - before
            # Not further than the wall clock allows (the page's frames are late, never
            # early); on a busy machine the sound's restart may take the whole time.
            if not before <= tick <= before + (played + 0.3) * 1000 / TICK_MS:
                raise AssertionError(f"soak (seed {seed}) step {steps}: played {played:.2f} s from tick "
                                     f"{before}, the show is at {tick}")
            continue
        if op == "timeline":
            # Shown by the movement; measured then (the time beside it sets its width).
            page.move(400, 300)
            page.pump(0.05)
            track = page.eval(track_box)
            x = int(track["x"] + rng.uniform(0, 1) * track["w"])
            page.click(x, track["y"])
            expected = min(last, round(max(0.0, min(1.0, (x - track["x"]) / track["w"])) * END_TICK))
        else:
            key = {"Left": "ArrowLeft", "Right": "ArrowRight"}.get(op, op)
            page.press_key(key)
            expected = {"Left": max(0, tick - SEEK_TICKS), "Right": min(last, tick + SEEK_TICKS), "Home": 0}.get(
                op, SCENE_TICKS[int(op) - 1] if op.isdigit() else None)
        try:
            st = wait_tick(page, lambda t, paused: t == expected and paused == 1, 10, poll=0.02)
        except TimeoutError as e:
            raise AssertionError(f"soak (seed {seed}) step {steps}: {op} from tick {before} should reach "
                                 f"tick {expected}: {e}") from None
        tick = st["tick"]
        # The oscilloscope's picture follows the live music: compared elsewhere.
        if steps in shot_steps and len(shots) < SOAK_SHOTS and not SCENE_TICKS[1] <= tick < SCENE_TICKS[2]:
            shots.append(tick)
            page.pump(0.2)
            compare_native(page, native, work, tick, f"soak step {steps} ({op})")
    print(f"soak (seed {seed}): {steps} steps in {time.time() - t0:.1f} s, plays moved it {moved} ticks (" +
          ", ".join(f"{op} {n}" for op, n in sorted(counts.items())) + f"), {len(shots)} pictures compared, "
          "every tick as the show's rules give")
    if steps < 100:
        raise AssertionError(f"soak: only {steps} steps in {SOAK_SECONDS} s")
    if counts.get("play", 0) > 0 and moved <= 0:
        raise AssertionError(f"soak (seed {seed}): {counts['play']} plays never moved the show on")
    page.goto("about:blank")


def case_shots(page, base, native, reference, work):
    ticks = sorted({int(name[len("shot_"):].split("_")[0].split(".")[0]) for name in os.listdir(reference)
                    if name.startswith("shot_") and name.endswith(".png")})
    # In the oscilloscope scene's hold, the one tick most sensitive to the picture rate.
    hold_tick = SCENE_TICKS[1] + 20
    pngs = {}
    for tick, fps in [(t, None) for t in ticks] + [(hold_tick, None), (hold_tick, 10)]:
        query = f"shot={tick}" + (f"&fps={fps}" if fps else "")
        page.goto(f"{base}/site/index.html?{query}")
        t0 = time.time()
        page.wait_for("window.zarnothPage && (zarnothPage.state === 'shot' || zarnothPage.state === 'error')", 600)
        if page.eval("zarnothPage.state") != "shot" or page.eval("document.title") != "ZARNOTH 3D - shot ready":
            raise AssertionError(f"shot {tick}: no picture: " + "\n".join(page.console[-20:]))
        # (A driver that hooks the console late may miss the line of a quick picture.)
        if page.whole_console and not any("shot ready" in line for line in page.console):
            raise AssertionError(f"shot {tick}: the console did not say it was ready")
        # Nothing but the picture: no title, no buttons, no timeline.
        over = page.eval("['overlay', 'fullscreen', 'timeline', 'again'].filter((id) => { "
                         "const e = document.getElementById(id); return e.getClientRects().length > 0 && "
                         "getComputedStyle(e).visibility !== 'hidden'; })")
        if over:
            raise AssertionError(f"shot {tick}: shown over the picture: {over}")
        data = base64.b64decode(page.eval(
            "(() => { let s = ''; for (const b of zarnothPage.shotPNG) s += String.fromCharCode(b); return btoa(s); })()"))
        pngs[(tick, fps)] = data
        if fps:
            continue
        web_png = os.path.join(work, f"web_{tick}.png")
        with open(web_png, "wb") as f:
            f.write(data)
        native_png = os.path.join(work, f"native_{tick}.png")
        if not os.path.exists(native_png):
            native_shot(native, tick, native_png)
        quality = psnr(web_png, native_png)
        print(f"shot {tick}: PSNR {quality:.1f} dB against the native shot ({time.time() - t0:.1f} s), "
              "nothing over it")
        if quality < MIN_PSNR:
            raise AssertionError(f"shot {tick}: PSNR {quality:.1f} dB < {MIN_PSNR} dB")
    if pngs[(hold_tick, None)] != pngs[(hold_tick, 10)]:
        raise AssertionError(f"shot {hold_tick}: the picture differs at 10 pictures a second")
    print(f"shot {hold_tick}: the same picture at 10 and 60 pictures a second")


def second_ticks(info):
    """A tick a third of the way into each of the second show's chapters, from the
    program's own page info (its chapters' first ticks and its end tick)."""
    starts = [chapter["tick"] for chapter in info["chapters"]]
    ends = starts[1:] + [info["endTick"]]
    return [start + (end - start) // 3 for start, end in zip(starts, ends)]


def case_second(page, base, native, work):
    """The second show (examples/your_own_show) on the same page: its title and chapter
    marks come from its own program, and its shot of a tick in each chapter is the
    native second show's picture of that tick (the same archive beside it)."""
    page.goto(f"{base}/second/index.html")
    page.wait_for("window.zarnothPage && zarnothPage.state === 'ready'", 120)
    info = page.eval("JSON.parse(window.Module.UTF8ToString(window.Module._zarnoth_show_info()))")
    marks = page.eval("[...document.querySelectorAll('.scene-mark')].map((m) => Number(m.dataset.tick))")
    title = page.eval("document.title")
    chapter_ticks = [chapter["tick"] for chapter in info["chapters"]]
    if title != "Your own show" or info["title"] != title or len(chapter_ticks) != 2 or marks != chapter_ticks[1:]:
        raise AssertionError(f"the second show's page has the title {title!r} and marks at {marks}, not "
                             f"'Your own show' and its program's chapter ticks after the first ({info})")
    for tick in second_ticks(info):
        page.goto(f"{base}/second/index.html?shot={tick}")
        page.wait_for("window.zarnothPage && (zarnothPage.state === 'shot' || zarnothPage.state === 'error')", 300)
        if page.eval("document.title") != "Your own show - shot ready":
            raise AssertionError(f"the second show's shot {tick}: no picture: " + "\n".join(page.console[-20:]))
        web_png = os.path.join(work, f"second_{tick}.png")
        with open(web_png, "wb") as f:
            f.write(base64.b64decode(page.eval(
                "(() => { let s = ''; for (const b of zarnothPage.shotPNG) s += String.fromCharCode(b); "
                "return btoa(s); })()")))
        native_png = os.path.join(work, f"native_second_{tick}.png")
        native_shot(native, tick, native_png)
        quality = psnr(web_png, native_png)
        print(f"second show: shot {tick}: PSNR {quality:.1f} dB against the native second show's")
        if quality < SECOND_MIN_PSNR:
            raise AssertionError(f"the second show's shot {tick}: PSNR {quality:.1f} dB < {SECOND_MIN_PSNR} dB")
    print(f"second show: title and chapter marks {marks} from its program")


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
        if not page.whole_console and not needs_key:
            # A missing archive fails as soon as the program has loaded, which on a busy
            # machine can be before the driver hooks the console.
            print(f"{name} archive: the console is not checked ({page.name}'s driver sees it only from "
                  "when the page is interactive)")
        elif not any(ERROR_TEXT in line for line in page.console):
            raise AssertionError(f"{name} archive: the console lacks the error text")


# Addresses the program refuses, each with its command line (None: a switch of the
# page alone, whose line names the option and its range instead).
BAD_ADDRESSES = [
    ("shot=-1", ["--shot", "-1"]),
    ("fps=0", ["--fps", "0"]),
    ("shot=100&fps=0", ["--shot", "100", "--fps", "0"]),
    ("shot=99999", ["--shot", "99999"]),
    ("shot=abc", ["--shot", "abc"]),
    ("fps=abc", ["--fps", "abc"]),
    ("slow=-5", None),
]


def case_addresses(page, base, native):
    for query, args in BAD_ADDRESSES:
        page.goto(f"{base}/site/index.html?{query}")
        page.wait_for("window.zarnothPage && zarnothPage.state === 'error'", 120)
        shown = page.eval("zarnothPage.messages.join('\\n')")
        if args is None:
            ok = shown.startswith("zarnoth: --slow takes a whole number from 0 to 1000, not '-5'")
            expected = "the --slow line"
        else:
            run = subprocess.run([native] + args, capture_output=True, text=True, timeout=60)
            expected = run.stderr.strip()
            ok = run.returncode == 2 and shown == expected
        if not ok or page.eval("document.getElementById('messages').classList.contains('hidden')"):
            raise AssertionError(f"?{query}: the page shows {shown!r}, not {expected!r}")
        print(f"address ?{query}: refused with {shown!r}")
    page.goto("about:blank")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--native", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--cases", help="default: archives,addresses,shots,viewer,second,show,slow,fallback; "
                        "with touch in chromium and soak in firefox")
    parser.add_argument("--browser", choices=["chromium", "firefox", "webkit"], default="chromium")
    parser.add_argument("--slots", help="a folder of lock files shared by browsers run at once: at most two "
                        "play a whole show together")
    parser.add_argument("--executable", help="the browser's program (default: found on PATH)")
    parser.add_argument("--second-site", help="the second show's page (case second)")
    parser.add_argument("--second-native", help="the second show's native program, its archive beside it "
                        "(case second)")
    args = parser.parse_args()
    executable = args.executable or find_browser(args.browser)
    if not executable:
        # Under CI a missing browser fails the run: only its packages are missing.
        print(f"web tests: no {args.browser} installed (scripts/packages-web.txt)" +
              ("" if os.environ.get("CI") == "true" else "; skipped"))
        sys.exit(1 if os.environ.get("CI") == "true" else 0)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    # Native shots are kept for the cases of one run, never from an earlier build.
    for f in os.listdir(work):
        if f.startswith("native") and f.endswith(".png"):
            os.remove(os.path.join(work, f))
    site = os.path.abspath(args.site)
    native = os.path.abspath(args.native)

    for f in ("zarnoth.wasm", "zarnoth.js", "kvl_ring_player.js", "zarnoth_page.js", "index.html", "quorvel.pak"):
        print(f"download: {f:16s} {os.path.getsize(os.path.join(site, f)):10d} bytes")

    root = os.path.join(work, "root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    sites = make_sites(site, root)
    os.symlink(site, os.path.join(root, "site"))
    if args.second_site:
        os.symlink(os.path.abspath(args.second_site), os.path.join(root, "second"))
    http_port = free_port()
    server = subprocess.Popen([sys.executable, "-m", "http.server", str(http_port), "--bind", "127.0.0.1"],
                              cwd=root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    stop = None
    try:
        page, stop = launch(args.browser, executable, work, free_port())
        print(f"browser: {args.browser} {page.eval('navigator.userAgent')}")
        base = f"http://127.0.0.1:{http_port}"
        cases = (args.cases or "archives,addresses,shots,viewer,second,show,slow,fallback" +
                 {"chromium": ",touch", "firefox": ",soak"}.get(args.browser, "")).split(",")
        if "archives" in cases:
            case_archives(page, base)
        if "addresses" in cases:
            case_addresses(page, base, native)
        if "shots" in cases:
            case_shots(page, base, native, os.path.abspath(args.reference), work)
        if "viewer" in cases:
            case_viewer(page, base, native, work)
        if "touch" in cases:
            case_touch(page, base)
        if "second" in cases:
            if not args.second_site or not args.second_native:
                raise AssertionError("case second needs --second-site and --second-native")
            case_second(page, base, os.path.abspath(args.second_native), work)
        if "soak" in cases:
            case_soak(page, base, native, work)
        music_seconds = show_music_seconds(native, site, work)
        # WebKit plays its slow page first, so that the lanes' whole shows spread out.
        whole = ["slow", "show"] if args.browser == "webkit" else ["show", "slow"]
        for case in whole:
            if case == "show" and "show" in cases:
                with whole_show_slot(page, args.slots):
                    case_show(page, base, native, work, music_seconds)
            if case == "slow" and "slow" in cases:
                with whole_show_slot(page, args.slots):
                    case_whole(page, base, f"slow={SLOW_MS}", "slow page", music_seconds, "worklet")
        if "fallback" in cases:
            case_fallback(page, base, "ScriptProcessor")
    finally:
        if stop:
            stop()
        server.terminate()
        server.wait()
    print(f"web tests: all cases passed in {args.browser}")


if __name__ == "__main__":
    main()
