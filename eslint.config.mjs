// ESLint over the project's JavaScript (scripts/lint_js.sh; the versions are pinned in
// package.json and package-lock.json): ESLint's recommended rules, plus a few that keep
// the code as it is written (strict equality, const where nothing reassigns, no var,
// curly braces, no shadowed names). Each file is told the globals of where it runs.
import js from "@eslint/js";
import globals from "globals";

// What Emscripten's generated loader defines for a --js-library's functions.
const emscriptenLibrary = {
  mergeInto: "readonly", LibraryManager: "readonly", Module: "readonly", locateFile: "readonly",
  HEAP16: "readonly", HEAPU8: "readonly", HEAP32: "readonly", _malloc: "readonly", _free: "readonly",
  _kvl_sound_web_pull: "readonly", _kvl_sound_web_pull_chunk: "readonly", _kvl_sound_web_queued: "readonly",
};

export default [
  {ignores: ["build*/**", "node_modules/**", "out/**"]},
  js.configs.recommended,
  {
    rules: {
      "eqeqeq": "error",
      "prefer-const": "error",
      "no-var": "error",
      "curly": "error",
      "no-shadow": "error",
      "no-unused-vars": ["error", {args: "none"}],
    },
  },
  {
    files: ["show/web/zarnoth_page.js"],
    languageOptions: {sourceType: "script", globals: globals.browser},
  },
  {
    files: ["sound/web/kvl_soundoutput_web.js"],
    languageOptions: {sourceType: "script", globals: {...globals.browser, ...emscriptenLibrary}},
  },
  {
    files: ["sound/web/kvl_ring_player.js"],
    languageOptions: {sourceType: "module", globals: globals.audioWorklet},
  },
];
