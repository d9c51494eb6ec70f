// The office's own small script; every page works without it.
// A list with a filter box (data-filter="<list id>") shows only the entries whose name holds
// what is typed.
"use strict";
document.addEventListener("DOMContentLoaded", () => {
  for (const box of document.querySelectorAll("input[data-filter]")) {
    const list = document.getElementById(box.dataset.filter);
    if (!list) continue;
    box.addEventListener("input", () => {
      const wanted = box.value.trim().toLowerCase();
      for (const item of list.children) {
        item.hidden = wanted !== "" && !(item.dataset.name || "").includes(wanted);
      }
    });
  }
});
