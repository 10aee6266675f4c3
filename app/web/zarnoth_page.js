// The page's script: fetches quorvel.pak next to the page (with a progress bar) while
// the program loads, puts it in the program's file system, waits for a click or key,
// then starts the show (zarnoth_play) and handles the program's page events: message
// texts, the end of the show (the last picture stays, with "play again").
//
// index.html?shot=TICK[&fps=N] makes the picture of TICK the way `zarnoth --shot TICK`
// does and shows it; the title ends in "shot ready" (or "error") and the console says
// so. Tests read window.zarnothPage (state, measurements, sound frames).
"use strict";

(function () {
  const $ = (id) => document.getElementById(id);
  const params = new URLSearchParams(window.location.search);
  const shotTick = params.has("shot") ? Number.parseInt(params.get("shot"), 10) : null;
  const shotFps = params.has("fps") ? Number.parseInt(params.get("fps"), 10) : 60;

  // What tests and curious people can read.
  const page = {
    state: "loading",      // loading, ready, playing, ended, error, shot
    archiveStatus: null,   // "ok", or what went wrong fetching it
    messages: [],
    result: null,          // the program's measurements at the end of the show
    clickTime: null,
    soundFrames: () => (window.Module.zarnothSoundFrames || 0),
  };
  window.zarnothPage = page;

  let archive = null;
  let runtimeReady = false;
  let archiveDone = false;

  function setState(state, title) {
    page.state = state;
    document.title = "ZARNOTH 3D" + (title ? " - " + title : "");
  }

  function showMessage(text) {
    page.messages.push(text);
    const box = $("messages");
    box.textContent = page.messages.join("\n");
    box.classList.remove("hidden");
    $("overlay").classList.remove("hidden");
  }

  // The program's page events (platform/web/kvl_page_web.h).
  function onEvent(name, detail) {
    if (name === "message") {
      showMessage(detail);
    } else if (name === "started") {
      setState("playing", "");
    } else if (name === "ended") {
      page.result = JSON.parse(detail);
      const picture = $("end-picture");
      picture.src = $("canvas").toDataURL("image/png");
      picture.classList.remove("hidden");
      $("canvas").classList.add("hidden");
      $("overlay").classList.remove("hidden");
      $("again").classList.remove("hidden");
      setState("ended", "the end");
      console.log("zarnoth: page ended");
    } else if (name === "failed") {
      setState("error", "error");
      $("overlay").classList.remove("hidden");
      console.log("zarnoth: page error");
    } else if (name === "shot") {
      const bytes = window.Module.FS.readFile(detail);
      const picture = $("end-picture");
      picture.src = URL.createObjectURL(new Blob([bytes], {type: "image/png"}));
      picture.classList.remove("hidden");
      $("canvas").classList.add("hidden");
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
      window.Module.FS.writeFile("/quorvel.pak", archive);
      archive = null;
    }
    if (shotTick !== null) {
      setState("shot-running", "rendering tick " + shotTick);
      // Let the page show that before the program takes the thread.
      setTimeout(() => {
        if (window.Module._zarnoth_shot(shotTick, shotFps) !== 0 && page.state !== "error") {
          setState("error", "error");
        }
      }, 0);
      return;
    }
    if (page.archiveStatus !== "ok") {
      // Without the archive the program reports its own error; no sound is needed.
      page.state = "ready";
      play();
      showMessage("quorvel.pak could not be loaded (" + page.archiveStatus + ").");
      return;
    }
    setState("ready", "");
    $("start").classList.remove("hidden");
  }

  async function fetchArchive() {
    const bar = $("progress");
    try {
      const response = await fetch("quorvel.pak");
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
          "Loading quorvel.pak… " + (received / 1048576).toFixed(1) + " MB" +
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
    onRuntimeInitialized: () => {
      runtimeReady = true;
      maybeStart();
    },
    onAbort: (what) => {
      showMessage("The program stopped: " + what);
      setState("error", "error");
    },
  };

  const start = (event) => {
    if (page.state === "ready") {
      event.preventDefault();
      play();
    }
  };
  window.addEventListener("keydown", start);
  $("stage").addEventListener("click", start);
  $("again").addEventListener("click", (event) => {
    event.stopPropagation();
    play();
  });
  $("fullscreen").addEventListener("click", (event) => {
    event.stopPropagation();
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else {
      $("stage").requestFullscreen().catch(() => {});
    }
  });
  if (shotTick !== null) {
    $("fullscreen").classList.add("hidden");
  }
  fetchArchive();
})();
