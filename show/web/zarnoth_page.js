// A show's page script: fetches the show's archive next to the page (its name is in
// index.html; with a progress bar) while the program loads, takes the show's title,
// chapters and end tick from the program, puts it in the program's file system, waits for a click, tap or
// key, then starts the show (zarnoth_play) and handles the program's page events:
// message texts, the end of the show (the last picture stays, with "play again").
//
// While the show plays: the program's keys (Space pauses, Left/Right seek 5 s, Home,
// 1-9 the scenes) reach it through the canvas's window, and the page keeps those keys
// from scrolling it; a slim timeline under the picture (shown on mouse move or tap,
// hidden again after a few seconds) marks the scenes, shows the time and seeks
// where it is clicked; a hidden page pauses the show (its clock and its sound) and
// goes on in step when shown again. The page asks the program through its request
// queue and reads its status (show/web/zrn_showpage.cpp).
//
// The address holds options of the program: index.html?shot=TICK[&fps=N] is `zarnoth
// --shot TICK --fps N`, and the program checks them with its command line's own parser
// before anything runs (zarnoth_page): a refused address shows the line the command
// line prints, and the page stops there. A shot makes the picture of TICK the way
// `zarnoth --shot TICK` does (the same at every N) and shows it alone; the title ends
// in "shot ready" (or "error") and the console says so. Tests read window.zarnothPage
// (state, measurements, seeks, and the sound's counts: music frames played, silence
// bridged by the fill rule and frames the worklet starved, apart). Test-only switches:
// ?audio=script plays the sound through the ScriptProcessor fallback; ?slow=MS keeps
// the page's thread busy for MS ms in every animation frame of the show.
//
// What differs between browsers lives in `browser` below, and nowhere else.
"use strict";

(function () {
  // ---- Browser differences -------------------------------------------------------
  const browser = {
    // Page visibility (older WebKit: prefixed).
    hidden: () => (document.hidden !== undefined ? document.hidden : Boolean(document.webkitHidden)),
    onVisibilityChange: (handler) => {
      const name = document.hidden !== undefined ? "visibilitychange" : "webkitvisibilitychange";
      document.addEventListener(name, handler);
    },
    // Full screen (Safari before 16.4: prefixed).
    fullscreenElement: () => document.fullscreenElement || document.webkitFullscreenElement || null,
    requestFullscreen: (element) => {
      const enter = element.requestFullscreen || element.webkitRequestFullscreen;
      const result = enter ? enter.call(element) : null;
      if (result && typeof result.catch === "function") {
        result.catch(() => {});
      }
    },
    exitFullscreen: () => {
      const exit = document.exitFullscreen || document.webkitExitFullscreen;
      if (exit) {
        const result = exit.call(document);
        if (result && typeof result.catch === "function") {
          result.catch(() => {});
        }
      }
    },
    // Keys whose default action would scroll the page or press a focused button
    // (old Edge and Firefox name Space "Spacebar" and the arrows "Left"/"Right").
    isShowKey: (event) => [" ", "Spacebar", "ArrowLeft", "ArrowRight", "ArrowUp", "ArrowDown", "Left", "Right",
                           "Up", "Down", "Home", "End", "PageUp", "PageDown"].includes(event.key),
    // A tap: touchend is the end of a touch that counts as the visitor's gesture (sound
    // may start in it), earlier than the click some browsers synthesise after it.
    onTap: (element, handler) => element.addEventListener("touchend", handler, {passive: false}),
    // Pointer movement of any kind (mouse, pen, finger); old Safari lacks pointer events.
    onPointerActivity: (element, handler) => {
      const names = window.PointerEvent ? ["pointermove", "pointerdown"] : ["mousemove", "mousedown", "touchstart"];
      for (const name of names) {
        element.addEventListener(name, handler, {passive: true});
      }
    },
    // Where a pointer, mouse or touch event is along the element (0 to 1).
    fractionAlong: (element, event) => {
      const rect = element.getBoundingClientRect();
      const point = event.changedTouches ? event.changedTouches[0] : event;
      return rect.width > 0 ? Math.min(1, Math.max(0, (point.clientX - rect.left) / rect.width)) : 0;
    },
    onPress: (element, handler) => element.addEventListener(window.PointerEvent ? "pointerdown" : "mousedown", handler),
    // The sound must stop at once when the page is hidden: a hidden page gets no
    // animation frames, so the program hears of it only when shown again.
    suspendSound: () => {
      const sound = window.Module && window.Module.zarnothSound;
      if (sound && sound.context && sound.context.state === "running") {
        sound.context.suspend();
      }
    },
    now: () => performance.now(),
  };

  // ---- The show's timeline ------------------------------------------------------
  // The program tells its title, tick, end tick and chapters once it runs
  // (zarnoth_show_info); until then the page has no timeline.
  const show = {title: document.title, tickMs: 14, endTick: 1, chapters: []};
  const TIMELINE_SECONDS = 3;
  // The show's archive, fetched while the program loads: its name is in the page.
  const ARCHIVE = document.documentElement.dataset.archive;

  const $ = (id) => document.getElementById(id);
  const params = new URLSearchParams(window.location.search);
  // ?fps=10 becomes --fps 10, in the address's order.
  const addressOptions = [];
  for (const [key, value] of params) {
    addressOptions.push("--" + key, value);
  }
  const shotAsked = params.has("shot");
  // Used only once the program has accepted the address.
  const slowMs = params.has("slow") ? Number.parseInt(params.get("slow"), 10) : 0;
  const soundPath = params.get("audio") === "script" ? "script" : "auto";

  // What tests and curious people can read.
  const page = {
    state: "loading",      // loading, ready, playing, ended, error, shot
    archiveStatus: null,   // "ok", or what went wrong fetching it
    messages: [],
    result: null,          // the program's measurements at the end of the show
    endSoundFrames: null,  // frames handed to Web Audio when the show ended
    endSound: null,        // {music, bridged, starved, path, rate} when the show ended
    clickTime: null,
    seeks: [],             // {tick, ms}: each seek the page asked for, request to picture
    hiddenPauses: 0,       // times the page paused the show because it was hidden
    soundFrames: () => (window.Module.zarnothSoundFrames || 0),
    // What the sound's node has played: music, the fill rule's bridging silence, and
    // silence for want of a chunk in the middle of the music (the worklet's gaps).
    sound: () => ({
      music: window.Module.zarnothMusicFrames || 0,
      bridged: window.Module.zarnothBridgedFrames || 0,
      starved: window.Module.zarnothStarvedFrames || 0,
      path: window.Module.zarnothSoundPath || "none",
      rate: window.Module.zarnothSoundRate || 0,
    }),
    status: () => window.Module.zarnothStatus || {},
    // Asks the show to go to a tick (as a click on the timeline does).
    seek: (tick) => {
      pendingSeek = {tick: tick, at: request("seek", tick)};
    },
    pause: (paused) => request("pause", paused ? 1 : 0),
  };
  window.zarnothPage = page;

  let archive = null;
  let runtimeReady = false;
  let archiveDone = false;
  let pendingSeek = null;
  let pausedByHiding = false;
  let timelineTimer = null;

  function request(name, value) {
    const at = browser.now();
    if (!Array.isArray(window.Module.zarnothRequests)) {
      window.Module.zarnothRequests = [];
    }
    window.Module.zarnothRequests.push({name: name, value: value, at: at});
    return at;
  }

  // Calls the program's function(argc, argv) with the texts as its arguments.
  function callWithArguments(name, texts) {
    const program = window.Module;
    const pointers = texts.map((text) => {
      const size = program.lengthBytesUTF8(text) + 1;
      const pointer = program._malloc(size);
      program.stringToUTF8(text, pointer, size);
      return pointer;
    });
    const argv = program._malloc(4 * (pointers.length + 1));
    pointers.forEach((pointer, i) => program.setValue(argv + 4 * i, pointer, "i32"));
    program.setValue(argv + 4 * pointers.length, 0, "i32");
    try {
      return program["_" + name](pointers.length, argv);
    } finally {
      pointers.forEach((pointer) => program._free(pointer));
      program._free(argv);
    }
  }

  function setState(state, title) {
    page.state = state;
    document.title = show.title + (title ? " - " + title : "");
  }

  function showMessage(text) {
    page.messages.push(text);
    const box = $("messages");
    box.textContent = page.messages.join("\n");
    box.classList.remove("hidden");
    $("overlay").classList.remove("hidden");
  }

  function formatTime(tick) {
    const seconds = tick * show.tickMs / 1000;
    const minutes = Math.floor(seconds / 60);
    const rest = seconds - minutes * 60;
    return minutes + ":" + (rest < 10 ? "0" : "") + rest.toFixed(1);
  }

  function buildTimeline() {
    const track = $("track");
    show.chapters.forEach((chapter, i) => {
      if (i === 0) {
        return;
      }
      const mark = document.createElement("div");
      mark.className = "scene-mark";
      mark.style.left = (100 * chapter.tick / show.endTick) + "%";
      mark.title = (i + 1) + ": " + chapter.name + " (" + formatTime(chapter.tick) + ")";
      mark.dataset.tick = String(chapter.tick);
      track.appendChild(mark);
    });
    browser.onPress(track, (event) => {
      event.stopPropagation();
      event.preventDefault();
      if (page.state !== "playing") {
        return;
      }
      const tick = Math.min(show.endTick - 1, Math.round(browser.fractionAlong(track, event) * show.endTick));
      page.seek(tick);
      showTimeline();
    });
  }

  function showTimeline() {
    if (page.state !== "playing") {
      return;
    }
    const timeline = $("timeline");
    timeline.classList.remove("hidden", "faded");
    clearTimeout(timelineTimer);
    timelineTimer = setTimeout(() => timeline.classList.add("faded"), TIMELINE_SECONDS * 1000);
  }

  function hideTimeline() {
    clearTimeout(timelineTimer);
    $("timeline").classList.add("hidden", "faded");
  }

  // Follows the show's position while it plays.
  function followShow() {
    if (page.state !== "playing") {
      return;
    }
    if (slowMs > 0) {
      const until = browser.now() + slowMs;
      while (browser.now() < until) {
        // A slow page on purpose (tests).
      }
    }
    const status = page.status();
    const tick = Number(status.tick) || 0;
    $("played").style.width = (100 * Math.min(tick, show.endTick) / show.endTick) + "%";
    $("time").textContent = formatTime(tick) + " / " + formatTime(show.endTick) + (status.paused ? " (paused)" : "");
    requestAnimationFrame(followShow);
  }

  // A hidden page pauses the show as of the moment it was hidden; shown again, the
  // show goes on from there, unless the visitor had paused it.
  function onVisibility() {
    if (page.state !== "playing") {
      return;
    }
    if (browser.hidden()) {
      if (!page.status().paused && !pausedByHiding) {
        browser.suspendSound();
        page.pause(true);
        pausedByHiding = true;
        page.hiddenPauses += 1;
      }
    } else if (pausedByHiding) {
      pausedByHiding = false;
      page.pause(false);
    }
  }

  // The program's page events (platform/web/kvl_page_web.h).
  function onEvent(name, detail) {
    if (name === "message") {
      showMessage(detail);
    } else if (name === "started") {
      setState("playing", "");
      requestAnimationFrame(followShow);
    } else if (name === "seeked") {
      if (pendingSeek !== null) {
        page.seeks.push({tick: Number(detail), asked: pendingSeek.tick, ms: browser.now() - pendingSeek.at});
        pendingSeek = null;
      }
    } else if (name === "ended") {
      page.result = JSON.parse(detail);
      page.endSoundFrames = page.soundFrames();
      page.endSound = page.sound();
      hideTimeline();
      const picture = $("end-picture");
      picture.src = $("canvas").toDataURL("image/png");
      picture.classList.remove("hidden");
      $("canvas").classList.add("hidden");
      $("overlay").classList.remove("hidden");
      $("again").classList.remove("hidden");
      setState("ended", "the end");
      console.log("zarnoth: page ended");
    } else if (name === "failed") {
      hideTimeline();
      setState("error", "error");
      $("overlay").classList.remove("hidden");
      console.log("zarnoth: page error");
    } else if (name === "shot") {
      const bytes = window.Module.FS.readFile(detail);
      const picture = $("end-picture");
      picture.src = URL.createObjectURL(new Blob([bytes], {type: "image/png"}));
      picture.classList.remove("hidden");
      $("canvas").classList.add("hidden");
      $("overlay").classList.add("hidden");
      document.body.classList.add("picture-only");
      page.shotPNG = bytes;
      setState("shot", "shot ready");
      console.log("zarnoth: shot ready");
    }
  }

  function play() {
    if (page.state !== "ready" && page.state !== "ended") {
      return;
    }
    page.clickTime = performance.now();
    page.endSoundFrames = null;
    page.endSound = null;
    window.Module.zarnothSoundPath = soundPath;
    for (const name of ["zarnothSoundFrames", "zarnothMusicFrames", "zarnothBridgedFrames", "zarnothStarvedFrames"]) {
      window.Module[name] = 0;
    }
    pausedByHiding = false;
    pendingSeek = null;
    window.Module.zarnothRequests = [];
    window.Module.zarnothStatus = {};
    $("overlay").classList.add("hidden");
    $("again").classList.add("hidden");
    $("end-picture").classList.add("hidden");
    $("canvas").classList.remove("hidden");
    $("messages").classList.add("hidden");
    page.messages = [];
    setState("playing", "");
    if (window.Module._zarnoth_play() !== 0 && page.state !== "error") {
      setState("error", "error");
    }
  }

  // Both the program and the archive are there (or the archive is known to be missing).
  function maybeStart() {
    if (!runtimeReady || !archiveDone) {
      return;
    }
    $("loading").classList.add("hidden");
    if (archive !== null) {
      window.Module.FS.writeFile("/" + ARCHIVE, archive);
      archive = null;
    }
    if (shotAsked) {
      setState("shot-running", "rendering the shot");
      // Let the page show that before the program takes the thread.
      setTimeout(() => {
        if (callWithArguments("zarnoth_page", addressOptions) !== 0 && page.state !== "error") {
          setState("error", "error");
        }
      }, 0);
      return;
    }
    // A refused address shows the program's line (its "message" and "failed" events).
    if (callWithArguments("zarnoth_page", addressOptions) !== 0) {
      if (page.state !== "error") {
        setState("error", "error");
      }
      return;
    }
    if (page.archiveStatus !== "ok") {
      // Without the archive the program reports its own error; no sound is needed.
      page.state = "ready";
      play();
      showMessage(ARCHIVE + " could not be loaded (" + page.archiveStatus + ").");
      return;
    }
    setState("ready", "");
    $("start").classList.remove("hidden");
  }

  async function fetchArchive() {
    const bar = $("progress");
    try {
      const response = await fetch(ARCHIVE);
      if (!response.ok) {
        throw new Error("HTTP " + response.status + " " + response.statusText);
      }
      const total = Number(response.headers.get("Content-Length")) || 0;
      const reader = response.body.getReader();
      const parts = [];
      let received = 0;
      for (;;) {
        const {done, value} = await reader.read();
        if (done) {
          break;
        }
        parts.push(value);
        received += value.length;
        if (total > 0) {
          bar.value = received / total;
        }
        $("loading-text").textContent =
          "Loading " + ARCHIVE + "… " + (received / 1048576).toFixed(1) + " MB" +
          (total > 0 ? " of " + (total / 1048576).toFixed(1) + " MB" : "");
      }
      archive = new Uint8Array(received);
      let at = 0;
      for (const part of parts) {
        archive.set(part, at);
        at += part.length;
      }
      bar.value = 1;
      page.archiveStatus = "ok";
    } catch (error) {
      page.archiveStatus = String(error.message || error);
    }
    archiveDone = true;
    maybeStart();
  }

  window.Module = {
    canvas: $("canvas"),
    print: (text) => console.log(text),
    printErr: (text) => console.error(text),
    zarnothEvent: onEvent,
    zarnothRequests: [],
    onRuntimeInitialized: () => {
      Object.assign(show, JSON.parse(window.Module.UTF8ToString(window.Module._zarnoth_show_info())));
      document.title = show.title;
      document.querySelector("#overlay h1").textContent = show.title;
      buildTimeline();
      runtimeReady = true;
      maybeStart();
    },
    onAbort: (what) => {
      showMessage("The program stopped: " + what);
      setState("error", "error");
    },
  };

  // Keys: on the start screen any key starts the show; while it plays, the program
  // hears them through the window, and the page keeps them from scrolling it or
  // pressing a focused button.
  window.addEventListener("keydown", (event) => {
    if (page.state === "ready") {
      event.preventDefault();
      play();
    } else if (page.state === "playing" && browser.isShowKey(event)) {
      event.preventDefault();
      showTimeline();
    }
  });
  window.addEventListener("keyup", (event) => {
    if (page.state === "playing" && browser.isShowKey(event)) {
      event.preventDefault();
    }
  });
  $("stage").addEventListener("click", () => {
    if (page.state === "ready") {
      play();
    } else {
      showTimeline();
    }
  });
  browser.onTap($("stage"), (event) => {
    if (page.state === "ready") {
      // No click after it: the show starts once.
      event.preventDefault();
      play();
    } else if (page.state === "playing" && !$("timeline").contains(event.target)) {
      showTimeline();
    }
  });
  browser.onPointerActivity($("stage"), showTimeline);
  browser.onVisibilityChange(onVisibility);
  $("again").addEventListener("click", (event) => {
    event.stopPropagation();
    event.currentTarget.blur();
    play();
  });
  $("fullscreen").addEventListener("click", (event) => {
    event.stopPropagation();
    event.currentTarget.blur();
    if (browser.fullscreenElement()) {
      browser.exitFullscreen();
    } else {
      browser.requestFullscreen($("stage"));
    }
  });
  $("timeline").addEventListener("click", (event) => event.stopPropagation());
  if (shotAsked) {
    // Once there, the picture stands alone (no title, no buttons, no timeline).
    $("fullscreen").classList.add("hidden");
  }
  fetchArchive();
})();
