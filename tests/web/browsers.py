"""The browsers the web tests drive, each behind the same small page interface.

  Page          what a case may do with the page: goto, eval (the value of a script
                expression, returned by value), wait_for, pump (take in the browser's
                events for a while), press_key, tap, move and click (mouse), hide and
                show (another tab to the front and back), console (the page's console
                lines since the last goto) and close
  CdpPage       headless Chromium over its DevTools protocol (Chromium's own)
  BidiPage      Firefox over WebDriver BiDi (the W3C protocol Firefox speaks on
                --remote-debugging-port); no driver program in between
  WebDriverPage WebKitGTK's MiniBrowser through WebKitWebDriver, over W3C WebDriver
                (HTTP) with Selenium as the client (Debian has no driver for
                Firefox, and Chromium's own protocol gives what the cases need)
  launch(name, work, port)
                starts a fresh browser (its own profile in a temporary folder, its log
                in WORK/<name>.log) and returns (page, stop)

Limits: one page (tab) per browser; keys are the show's few (Space, Left, Right, Home,
1-5). Firefox headless makes WebGL only with an X display to open its GL context
on, and plays Web Audio only to a sound device: it needs DISPLAY (a private Xvfb,
scripts/xvfb.sh) and ZARNOTH_WEB_PULSE_SERVER (a PulseAudio server, e.g. one with a
null sink) and fails without them. WebKitGTK needs both as well (it has no headless
mode; its Web Audio plays through GStreamer to PULSE_SERVER).
"""
import glob
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request
import warnings

import websocket


class Page:
    """The interface the cases are written against."""

    name = "?"
    # Whether tap() reaches the page as a touch (touch events), not as a mouse click.
    touch = True
    # Whether console holds every line since goto (not only those after the page's
    # first scripts ran).
    whole_console = True

    def __init__(self):
        self.console = []

    def goto(self, url):
        raise NotImplementedError

    def eval(self, expression):
        raise NotImplementedError

    def pump(self, seconds):
        raise NotImplementedError

    def press_key(self, key=" "):
        raise NotImplementedError

    def tap(self, x, y):
        raise NotImplementedError

    def move(self, x, y):
        raise NotImplementedError

    def click(self, x, y):
        raise NotImplementedError

    def hide(self):
        """Another tab comes to the front; returns what show() needs to undo it."""
        raise NotImplementedError

    def emulate_phone(self, width, height):
        """A touch screen of width x height CSS pixels (None, None: back to the desktop)."""
        raise NotImplementedError

    def show(self, other):
        raise NotImplementedError

    def close(self):
        pass

    def wait_for(self, expression, timeout, poll=0.25):
        end = time.time() + timeout
        while time.time() < end:
            value = self.eval(expression)
            if value:
                return value
            self.pump(poll)
        raise TimeoutError(f"{self.name}: waited {timeout} s for {expression}; console:\n" +
                           "\n".join(self.console[-30:]))


class JsonSocket:
    """Commands with ids over one WebSocket; whatever else comes in goes to on_event."""

    def __init__(self, url, on_event, **options):
        self.ws = websocket.create_connection(url, timeout=600, **options)
        self.on_event = on_event
        self.next_id = 0

    def call(self, method, params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']} {message.get('message', '')}")
                return message.get("result", {})
            self.on_event(message)

    def pump(self, seconds):
        end = time.time() + seconds
        try:
            while True:
                left = end - time.time()
                if left <= 0:
                    break
                self.ws.settimeout(max(0.01, left))
                self.on_event(json.loads(self.ws.recv()))
        except websocket.WebSocketTimeoutException:
            pass
        self.ws.settimeout(600)

    def close(self):
        self.ws.close()


class CdpPage(Page):
    """One Chromium tab driven through the DevTools protocol."""

    name = "chromium"
    KEYS = {" ": ("Space", 32), "ArrowLeft": ("ArrowLeft", 37), "ArrowRight": ("ArrowRight", 39),
            "Home": ("Home", 36), "1": ("Digit1", 49), "2": ("Digit2", 50), "3": ("Digit3", 51),
            "4": ("Digit4", 52), "5": ("Digit5", 53)}

    def __init__(self, debug_port):
        super().__init__()
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
        self.socket = JsonSocket(targets[0]["webSocketDebuggerUrl"], self._handle)
        self.target_id = targets[0]["id"]
        self.debug_port = debug_port
        self.call("Runtime.enable")
        self.call("Page.enable")

    def _handle(self, message):
        if message.get("method") == "Runtime.consoleAPICalled":
            args = message["params"]["args"]
            self.console.append(" ".join(str(a.get("value", a.get("description", ""))) for a in args))
        elif message.get("method") == "Runtime.exceptionThrown":
            self.console.append("exception: " + json.dumps(message["params"]["exceptionDetails"])[:500])

    def call(self, method, **params):
        return self.socket.call(method, params)

    def pump(self, seconds):
        self.socket.pump(seconds)

    def eval(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def goto(self, url):
        self.console = []
        self.call("Page.navigate", url=url)

    def press_key(self, key=" "):
        code, vk = self.KEYS[key]
        for kind in ("keyDown", "keyUp"):
            extra = {"text": key} if kind == "keyDown" and len(key) == 1 else {}
            self.call("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=vk,
                      nativeVirtualKeyCode=vk, **extra)

    phone = False

    def tap(self, x, y):
        self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=1)
        self.call("Input.dispatchTouchEvent", type="touchStart", touchPoints=[{"x": x, "y": y}])
        self.call("Input.dispatchTouchEvent", type="touchEnd", touchPoints=[])
        if not self.phone:
            self.call("Emulation.setTouchEmulationEnabled", enabled=False)

    def emulate_phone(self, width, height):
        self.phone = width is not None
        if not self.phone:
            self.call("Emulation.clearDeviceMetricsOverride")
            self.call("Emulation.setTouchEmulationEnabled", enabled=False)
            return
        upright = height > width
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=3, mobile=True,
                  screenOrientation={"type": "portraitPrimary" if upright else "landscapePrimary",
                                     "angle": 0 if upright else 90})
        self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)

    def _mouse(self, kind, x, y):
        self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left" if kind != "mouseMoved" else "none",
                  clickCount=1 if kind != "mouseMoved" else 0)

    def move(self, x, y):
        self._mouse("mouseMoved", x, y)

    def click(self, x, y):
        self._mouse("mousePressed", x, y)
        self._mouse("mouseReleased", x, y)

    def _browser_call(self, method, **params):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.debug_port}/json/version") as r:
            url = json.load(r)["webSocketDebuggerUrl"]
        browser = JsonSocket(url, lambda message: None)
        try:
            return browser.call(method, params)
        finally:
            browser.close()

    def hide(self):
        return self._browser_call("Target.createTarget", url="about:blank")["targetId"]

    def show(self, other):
        self._browser_call("Target.activateTarget", targetId=self.target_id)
        self._browser_call("Target.closeTarget", targetId=other)

    def close(self):
        self.socket.close()


def bidi_value(remote):
    """A WebDriver BiDi remote value as the Python value JSON would give."""
    kind = remote.get("type")
    value = remote.get("value")
    if kind in ("undefined", "null"):
        return None
    if kind == "number":
        special = {"NaN": float("nan"), "-0": -0.0, "Infinity": float("inf"), "-Infinity": float("-inf")}
        return special.get(value, value) if isinstance(value, str) else value
    if kind in ("string", "boolean"):
        return value
    if kind == "bigint":
        return int(value)
    if kind in ("array", "set"):
        return [bidi_value(v) for v in value or []]
    if kind in ("object", "map"):
        return {(k if isinstance(k, str) else str(bidi_value(k))): bidi_value(v) for k, v in value or []}
    if kind == "date":
        return value
    # Nodes, windows, functions and the like: what they are, not their contents.
    return {"type": kind}


class BidiPage(Page):
    """One Firefox tab driven through WebDriver BiDi."""

    name = "firefox"
    # WebDriver's code points for the keys that have no character.
    KEYS = {" ": " ", "ArrowLeft": "\ue012", "ArrowRight": "\ue014", "Home": "\ue011",
            "1": "1", "2": "2", "3": "3", "4": "4", "5": "5"}

    def __init__(self, port):
        super().__init__()
        deadline = time.time() + 60
        while True:
            try:
                # The remote agent turns away requests that carry a web page's Origin.
                self.socket = JsonSocket(f"ws://127.0.0.1:{port}/session", self._handle, suppress_origin=True)
                break
            except (OSError, websocket.WebSocketException):
                if time.time() > deadline:
                    raise RuntimeError("Firefox's remote agent did not answer")
                time.sleep(0.3)
        self.session = self.call("session.new", capabilities={"alwaysMatch": {"unhandledPromptBehavior": "ignore"}})
        self.version = self.session["capabilities"].get("browserVersion", "?")
        self.context = self.call("browsingContext.getTree", maxDepth=0)["contexts"][0]["context"]
        self.call("session.subscribe", events=["log.entryAdded"])

    def _handle(self, message):
        if message.get("method") != "log.entryAdded":
            return
        entry = message["params"]
        if entry.get("source", {}).get("context") not in (None, self.context):
            return
        if entry.get("type") == "console":
            self.console.append(entry.get("text") or
                                " ".join(str(bidi_value(a)) for a in entry.get("args", [])))
        else:
            self.console.append("exception: " + str(entry.get("text"))[:500])

    def call(self, method, **params):
        return self.socket.call(method, params)

    def pump(self, seconds):
        self.socket.pump(seconds)

    def eval(self, expression):
        result = self.call("script.evaluate", expression=expression, target={"context": self.context},
                           awaitPromise=True, resultOwnership="none")
        if result.get("type") == "exception":
            details = result.get("exceptionDetails", {})
            raise RuntimeError(f"{expression}: {details.get('text')}")
        return bidi_value(result["result"])

    def goto(self, url):
        self.console = []
        # Once the page's own script has run (as after Chromium's navigate), not when
        # everything has loaded.
        self.call("browsingContext.navigate", context=self.context, url=url, wait="interactive")

    def _actions(self, *sources):
        self.call("input.performActions", context=self.context, actions=list(sources))

    def press_key(self, key=" "):
        value = self.KEYS[key]
        self._actions({"type": "key", "id": "keyboard",
                       "actions": [{"type": "keyDown", "value": value}, {"type": "keyUp", "value": value}]})

    def _pointer(self, kind, x, y, press):
        steps = [{"type": "pointerMove", "x": int(x), "y": int(y), "origin": "viewport"}]
        if press:
            steps += [{"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]
        self._actions({"type": "pointer", "id": kind, "parameters": {"pointerType": kind}, "actions": steps})

    def tap(self, x, y):
        self._pointer("touch", x, y, True)

    def move(self, x, y):
        self._pointer("mouse", x, y, False)

    def click(self, x, y):
        self._pointer("mouse", x, y, True)

    def hide(self):
        return self.call("browsingContext.create", type="tab", background=False)["context"]

    def show(self, other):
        self.call("browsingContext.activate", context=self.context)
        self.call("browsingContext.close", context=other)

    def close(self):
        try:
            self.call("session.end")
        except (RuntimeError, OSError, websocket.WebSocketException):
            pass
        self.socket.close()


class WebDriverPage(Page):
    """One WebKitGTK MiniBrowser window driven through WebKitWebDriver (W3C WebDriver).

    W3C WebDriver has no console of the page: goto puts a hook on the page's console
    (and its uncaught errors) once the page is interactive, and every eval takes in what
    it caught since. Lines written before that (while the page's first scripts run) are
    not seen; the program itself starts later (its WebAssembly loads asynchronously).
    Hiding minimises the window (a new tab of MiniBrowser leaves the page visible)."""

    name = "webkit"
    # WebKitGTK has touch events only with a touch screen; its driver makes a touch
    # pointer a mouse.
    touch = False
    whole_console = False
    KEYS = BidiPage.KEYS
    HOOK = ("if (!window.zarnothTestConsole) { window.zarnothTestConsole = []; "
            "for (const level of ['log', 'info', 'warn', 'error']) { const plain = console[level]; "
            "console[level] = function (...args) { window.zarnothTestConsole.push(args.map(String).join(' ')); "
            "return plain.apply(console, args); }; } "
            "window.addEventListener('error', (e) => window.zarnothTestConsole.push('exception: ' + e.message)); "
            "window.addEventListener('unhandledrejection', "
            "(e) => window.zarnothTestConsole.push('exception: ' + e.reason)); }")
    # The expression's value and the console lines caught since the last call.
    EVAL = ("const value = (0, eval)(arguments[0]); const lines = window.zarnothTestConsole ? "
            "window.zarnothTestConsole.splice(0) : []; "
            "return Promise.resolve(value).then((v) => [v, lines]);")

    def __init__(self, driver, width, height):
        super().__init__()
        self.driver = driver
        self.size = (width, height)
        self.version = driver.capabilities.get("browserVersion", "?")

    def eval(self, expression):
        from selenium.common.exceptions import WebDriverException
        try:
            value, lines = self.driver.execute_script(self.EVAL, expression)
        except WebDriverException as e:
            raise RuntimeError(f"{expression}: {e.msg}") from None
        self.console += lines
        return value

    def pump(self, seconds):
        time.sleep(seconds)

    def goto(self, url):
        from selenium.common.exceptions import NoSuchFrameException
        self.console = []
        # The session's page load strategy is "none" (with "eager", WebKitWebDriver now
        # and then waits for a load it never hears the end of, until its page load
        # timeout): the new document is awaited here.
        self.driver.get(url)
        end = time.time() + 120
        while True:
            # Hooked as soon as the new document is there (its own scripts may have run).
            # A script that meets the old document's unload is asked again.
            try:
                state = self.driver.execute_script("return [document.URL, document.readyState];")
            except NoSuchFrameException:
                state = ["(unloading)", ""]
            if state[0] == url:
                break
            if time.time() > end:
                raise TimeoutError(f"webkit: {url} did not load (the page is at {state})")
            time.sleep(0.05)
        if url.startswith("http"):
            self.driver.execute_script(self.HOOK)

    def _actions(self, *sources):
        self.driver.execute("actions", {"actions": list(sources)})

    press_key = BidiPage.press_key
    _pointer = BidiPage._pointer
    tap = BidiPage.tap
    move = BidiPage.move
    click = BidiPage.click

    def hide(self):
        self.driver.minimize_window()
        return None

    def show(self, other):
        self.driver.set_window_rect(x=0, y=0, width=self.size[0], height=self.size[1])

    def close(self):
        self.driver.quit()


def find_webkit():
    """(WebKitWebDriver, MiniBrowser) of Debian's webkit2gtk-driver, or None."""
    driver = shutil.which("WebKitWebDriver")
    browsers = sorted(glob.glob("/usr/lib/*/webkit2gtk-4.*/MiniBrowser"))
    return (driver, browsers[-1]) if driver and browsers else None


# Firefox's preferences for a test profile (the remote agent sets its own on top): sound
# may start without a gesture, as Chromium's --autoplay-policy; WebGL on Mesa's software
# rasteriser, as SwiftShader is allowed in Chromium; no first-run pages or updates.
FIREFOX_PREFS = {
    "media.autoplay.default": 0,
    "media.autoplay.block-webaudio": False,
    "webgl.force-enabled": True,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.homepage_override.mstone": "ignore",
    "datareporting.policy.dataSubmissionEnabled": False,
    "app.update.disabledForTesting": True,
    # Touch events for the tap as on a touch screen (Linux turns them on only for one).
    "dom.w3c_touch_events.enabled": 1,
}


def find_browser(name):
    if name == "webkit":
        found = find_webkit()
        return found[1] if found else None
    candidates = {"chromium": ["chromium", "chromium-browser"], "firefox": ["firefox-esr", "firefox"]}[name]
    for candidate in candidates:
        path = shutil.which(candidate)
        if path:
            return path
    return None


def launch(name, executable, work, port):
    """Starts the browser with a fresh profile; returns (page, stop)."""
    profile = tempfile.mkdtemp(prefix=f"zarnoth-{name}-")
    log = open(os.path.join(work, f"{name}.log"), "w")
    if name == "chromium":
        command = [executable, "--headless=new", "--no-sandbox", "--enable-unsafe-swiftshader",
                   "--autoplay-policy=no-user-gesture-required", "--no-first-run",
                   "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                   f"--user-data-dir={profile}", f"--remote-debugging-port={port}",
                   "--window-size=800,600", "about:blank"]
        env = {k: v for k, v in os.environ.items() if k != "PULSE_SERVER"}
    elif name == "webkit":
        return launch_webkit(executable, profile, log, port)
    else:
        if not os.environ.get("DISPLAY"):
            raise RuntimeError("Firefox makes WebGL only on an X display: run it under Xvfb "
                               "(scripts/web.sh test does)")
        with open(os.path.join(profile, "user.js"), "w") as f:
            for key, value in FIREFOX_PREFS.items():
                f.write(f"user_pref({json.dumps(key)}, {json.dumps(value)});\n")
        command = [executable, "--headless", "--no-remote", "--profile", profile,
                   "--remote-debugging-port", str(port), "--window-size", "800,600", "about:blank"]
        # Firefox's Web Audio stands suspended without a sound device; the sound server is
        # given to Firefox alone, so that Chromium keeps its own fake output.
        pulse = os.environ.get("ZARNOTH_WEB_PULSE_SERVER")
        if not pulse:
            raise RuntimeError("Firefox plays sound only to a sound server: set ZARNOTH_WEB_PULSE_SERVER "
                               "(scripts/web.sh test starts a private PulseAudio with a null sink)")
        # Its own temporary folder, so two runs at once share nothing. The sound server's
        # buffer is 150 ms, not Firefox's few tens: with the page's software WebGL on a
        # busy machine the short one runs dry and the AudioContext's clock falls behind
        # the wall clock (some 2-9 % slow, measured on two shared cores).
        env = dict(os.environ, TMPDIR=profile, PULSE_SERVER=pulse, PULSE_LATENCY_MSEC="150")
    process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, env=env)

    page = None

    def stop():
        if page is not None:
            page.close()
        process.terminate()
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        log.close()
        shutil.rmtree(profile, ignore_errors=True)

    try:
        page = CdpPage(port) if name == "chromium" else BidiPage(port)
    except BaseException:
        stop()
        raise
    return page, stop


def launch_webkit(executable, profile, log, port):
    """WebKitWebDriver on port, which starts MiniBrowser (executable) for its session."""
    from selenium.webdriver.remote.webdriver import WebDriver
    from selenium.webdriver.webkitgtk.service import Service

    if not os.environ.get("DISPLAY"):
        raise RuntimeError("WebKitGTK needs an X display: run it under Xvfb (scripts/web.sh test does)")
    pulse = os.environ.get("ZARNOTH_WEB_PULSE_SERVER")
    if not pulse:
        raise RuntimeError("WebKitGTK plays sound only to a sound server: set ZARNOTH_WEB_PULSE_SERVER "
                           "(scripts/web.sh test starts a private PulseAudio with a null sink)")
    # MiniBrowser is the driver's child: the sound server and its own temporary and
    # cache folders reach it through the driver's environment.
    env = dict(os.environ, TMPDIR=profile, PULSE_SERVER=pulse, PULSE_LATENCY_MSEC="150",
               XDG_CACHE_HOME=profile, XDG_DATA_HOME=profile, XDG_CONFIG_HOME=profile)
    service = Service(executable_path=find_webkit()[0], port=port, log_path=log.name, env=env)
    log.close()
    service.start()
    # The W3C capabilities alone (Selenium 4.8's options add legacy keys the driver
    # refuses). Given arguments, the driver passes no others: --automation is ours.
    # Sound may start without a gesture, as in the other browsers' test set-ups.
    capabilities = {"pageLoadStrategy": "none", "webkitgtk:browserOptions": {"binary": executable, "args": [
        "--automation", "--enable-webgl=true", "--enable-webaudio=true",
        "--media-playback-requires-user-gesture=false"]}}
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            driver = WebDriver(command_executor=service.service_url, desired_capabilities=capabilities)
    except BaseException:
        service.stop()
        shutil.rmtree(profile, ignore_errors=True)
        raise
    # A script waits on the page's thread, which a software WebGL on a busy machine may
    # keep for a while (the driver's default is 30 s).
    driver.set_script_timeout(300)
    driver.set_window_rect(x=0, y=0, width=800, height=600)
    page = WebDriverPage(driver, 800, 600)

    def stop():
        try:
            page.close()
        finally:
            service.stop()
            shutil.rmtree(profile, ignore_errors=True)

    return page, stop
