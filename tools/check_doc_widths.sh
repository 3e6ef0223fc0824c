#!/bin/bash
# Lists the code blocks, displayed equations and tables of a built HTML documentation that do not
# fit their text column in a browser window of the given width, page by page, after MathJax has
# typeset them. Needs headless Chromium (Debian: chromium-headless-shell).
#
#   sphinx-build -W docs build/docs && tools/check_doc_widths.sh build/docs [1280]
#
# Prints nothing when everything fits; exits 1 when something does not.
set -euo pipefail
html=$(cd "$1" && pwd)
width=${2:-1280}
browser=$(command -v chromium-headless-shell || command -v chromium)
probe_script=$(mktemp --suffix=.js)
trap 'rm -f "$probe_script"' EXIT
cat >"$probe_script" <<'JS'
window.addEventListener("load", () => { setTimeout(() => {
  const column = document.querySelector("article").getBoundingClientRect().right;
  const wide = [...document.querySelectorAll("pre, mjx-container[display=true], .table-wrapper")]
    .filter(e => e.scrollWidth > e.clientWidth + 1 ||
                 (e.tagName !== "DIV" && e.getBoundingClientRect().right > column + 1))
    .map(e => e.tagName.toLowerCase() + " " + Math.round(e.scrollWidth) + " px in " + e.clientWidth);
  document.body.setAttribute("data-too-wide", wide.join("; ") || "none");
}, 1500); });
JS
status=0
while read -r page; do
  probe="${page%.html}.width-probe.html"
  sed "s#</body>#<script src=\"file://$probe_script\"></script></body>#" "$page" >"$probe"
  found=$("$browser" --no-sandbox --disable-gpu --allow-file-access-from-files \
    --window-size="$width",900 --virtual-time-budget=6000 --dump-dom "file://$probe" 2>/dev/null |
    grep -o 'data-too-wide="[^"]*"' | sed 's/^data-too-wide="//; s/"$//' || true)
  rm -f "$probe"
  if [ "$found" != "none" ]; then
    echo "${page#"$html"/}: ${found:-not measured}"
    status=1
  fi
done < <(find "$html" -name "*.html" -not -path "*/_static/*" -not -name genindex.html \
  -not -name search.html | sort)
exit $status
