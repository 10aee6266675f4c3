#!/usr/bin/env bash
# ESLint over the project's JavaScript (the page's script, the web sound output's page
# side and worklet; eslint.config.mjs says which rules and which globals). ESLint and its
# rule set come from npm at the versions package-lock.json pins (npm ci, into
# node_modules/); Node.js and npm come with the machine. Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v npm >/dev/null; then
    echo "lint_js: npm is missing (Node.js and npm come with the machine)" >&2
    exit 1
fi
npm ci --no-audit --no-fund --loglevel=error
npx --no-install eslint --max-warnings 0 .
echo "lint_js: no findings in $(npx --no-install eslint --format json . | node -e \
    'let s = ""; process.stdin.on("data", (d) => (s += d)).on("end", () => console.log(JSON.parse(s).length))') files"
