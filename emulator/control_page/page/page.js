// The control page: polls the emulator's state once a second and renders it; every button is one
// request of the JSON interface (docs/control-page.md). The access token travels in a cookie the
// server set when the page was opened with ?token=.
"use strict";

const POLL_MS = 1000;
let catalogByProduct = new Map();
const rendered = new Map();  // section -> the JSON it shows, so unchanged sections keep their elements

// el("td", {class: "number"}, "250"): an element whose texts are text nodes, never markup.
function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v === undefined || v === null || v === false) continue;
    e.setAttribute(k, v === true ? "" : v);
  }
  for (const c of children.flat()) if (c !== null && c !== undefined) e.append(c instanceof Node ? c : String(c));
  return e;
}

function table(headings, rows, none) {
  if (rows.length === 0) return el("p", {class: "empty"}, none || "none");
  return el("table", {}, el("thead", {}, el("tr", {}, headings.map(h => el("th", {}, h)))), el("tbody", {}, rows));
}

function button(label, action, data, danger) {
  return el("button", Object.assign({type: "button", "data-action": action, class: danger ? "danger" : null}, data), label);
}

function productName(productId) {
  const c = catalogByProduct.get(productId);
  return c ? c.name : productId;
}

async function call(method, path, body) {
  const init = {method, credentials: "same-origin", headers: {}};
  if (body !== undefined) {
    init.headers["Content-Type"] = "application/json";
    init.body = typeof body === "string" ? body : JSON.stringify(body);
  }
  const res = await fetch(path, init);
  const answer = await res.json().catch(() => ({}));
  if (!res.ok) throw new Error(answer.error || res.status + " " + res.statusText);
  return answer;
}

function showError(message) {
  const box = document.getElementById("error");
  box.textContent = message || "";
  box.hidden = !message;
}

async function act(method, path, body) {
  try {
    await call(method, path, body);
    showError("");
  } catch (e) {
    showError(e.message);
  }
  await poll();
}

// Replaces a section's content only when what it shows changed.
function renderInto(id, value, build) {
  const key = JSON.stringify(value);
  if (rendered.get(id) === key) return;
  rendered.set(id, key);
  document.getElementById(id).replaceChildren(build(value));
}

function renderUsers(users) {
  return el("div", {}, users.length === 0 ? el("p", {class: "empty"}, "no user is signed in") : users.map(u =>
    el("div", {class: "user", "data-user": u.id},
      el("h3", {}, u.gamertag + " ", el("small", {}, "user " + u.id + " · xuid " + u.xboxUserId)),
      table(["Product", "Type", "State", "Balance"], u.inventory.map(item =>
        el("tr", {"data-user": u.id, "data-product": item.productId},
          el("td", {}, productName(item.productId), el("br"), el("code", {}, item.productId)),
          el("td", {}, item.mediaItemType),
          el("td", {class: "state-" + item.state}, item.state + (item.available ? "" : " (unavailable)")),
          el("td", {class: "number"}, item.consumable ? String(item.consumableBalance) : "")))))));
}

function renderLedger(ledger) {
  if (!ledger) return el("p", {class: "empty"}, "the ledger is not available in this build");
  const shown = ledger.entries.length < ledger.total ? el("p", {class: "hint"},
    "The newest " + ledger.entries.length + " of " + ledger.total + " entries.") : null;
  return el("div", {}, table(["#", "Time", "User", "Product", "Qty", "Source", "Outcome", ""],
    ledger.entries.slice().reverse().map(e =>
    el("tr", {"data-entry": e.id, "data-user": e.userId, "data-product": e.productId},
      el("td", {class: "number"}, e.id), el("td", {}, e.time), el("td", {}, e.userId),
      el("td", {}, productName(e.productId)), el("td", {class: "number"}, e.quantity),
      el("td", {}, e.source), el("td", {}, e.outcome),
      el("td", {}, e.refundable ? button("Refund", "refund", {"data-entry": e.id}, true) : ""))),
    "No transaction yet."), shown);
}

function renderScreens(screens) {
  if (!screens) return el("p", {class: "empty"}, "screens that wait are not available in this build");
  return table(["Screen", "User", "Product", ""], screens.screens.map(s =>
    el("tr", {"data-screen": s.id},
      el("td", {}, s.kind), el("td", {}, s.userId),
      el("td", {}, productName(s.productId) || s.offer),
      el("td", {}, button("Purchase", "decide", {"data-screen": s.id, "data-decision": "Purchase"}), " ",
                   button("Cancel", "decide", {"data-screen": s.id, "data-decision": "Cancel"}), " ",
                   button("Fail", "decide", {"data-screen": s.id, "data-decision": "Fail"}, true)))),
    screens.holding ? "No screen is open." : "No screen is open; tick the box to hold the next ones.");
}

function renderCatalog(catalog) {
  return table(["Product", "Type", "Price", ""], catalog.map(c =>
    el("tr", {"data-product": c.productId},
      el("td", {}, c.name, el("br"), el("code", {}, c.productId)), el("td", {}, c.mediaItemType),
      el("td", {}, c.availabilities.length ? c.availabilities[0].displayPrice : ""),
      el("td", {}, button("Buy", "buy", {"data-product": c.productId}), " ",
        button("Announce", "announce", {"data-product": c.productId})))));
}

function hexTitle(titleId) { return titleId.toString(16).toUpperCase().padStart(8, "0"); }

function renderPackages(state) {
  const installed = new Set(state.packages.map(p => p.productId));
  const waiting = state.catalog.filter(c => c.mediaItemType === "GameContent" && !installed.has(c.productId));
  return el("div", {},
    el("h3", {}, "Installed"),
    table(["Package", "Version", "Mounted", ""], state.packages.map(p =>
      el("tr", {"data-package": p.packageFullName},
        el("td", {}, p.displayName, el("br"), el("code", {}, p.packageFullName)), el("td", {}, p.version),
        el("td", {}, p.mounted ? "mounted" : "not mounted"),
        el("td", {}, button("Finish an update", "update", {"data-package": p.packageFullName})))),
      "No package is installed."),
    el("h3", {}, "Not installed"),
    table(["Content", ""], waiting.map(c =>
      el("tr", {"data-product": c.productId},
        el("td", {}, c.name, el("br"), el("code", {}, c.productId)),
        el("td", {}, button("Finish installation", "install", {"data-product": c.productId})))),
      "Every downloadable product of the catalog is installed."));
}

function renderFaults(f) {
  return el("div", {},
    table(["Failing call", "Answers", "Calls left"], f.faults.map(x =>
      el("tr", {"data-fault": x.call}, el("td", {}, el("code", {}, x.call)), el("td", {}, x.hresult),
        el("td", {class: "number"}, x.times < 0 ? "every call" : x.times))), "No platform call is made to fail."),
    table(["Scripted call", "Outcome", "Times"], f.outcomes.map(x =>
      el("tr", {"data-outcome": x.call}, el("td", {}, el("code", {}, x.call)),
        el("td", {}, x.kind + (x.hresult !== "0x00000000" ? " " + x.hresult : "")),
        el("td", {class: "number"}, x.times))), "No outcome is scripted: operations complete."),
    el("p", {class: "hint"}, "Operations complete after " + (f.defaultDelayUs / 1000) + " ms unless scripted."));
}

function renderCalls(calls) {
  const lines = calls.marketplace.map(c => "user " + c.userId + " " + c.method + "(" + c.texts.concat(c.numbers).join(", ") + ")")
    .concat(calls.screens.map(s => "user " + s.userId + " " + s.call + "(" + (s.offer || s.productId) + ")"))
    .concat(calls.privileges.map(p => "user " + p.userId + " " + p.call + "(" + p.privilegeIds.join(", ") + ")"));
  const p = calls.packages;
  return el("div", {},
    lines.length ? el("ol", {}, lines.map(l => el("li", {}, el("code", {}, l)))) : el("p", {class: "empty"}, "none yet"),
    el("p", {class: "hint"}, "Package manager: " + p.activations + " activations, " + p.finds + " queries, " +
      p.mounts + " mounts, " + p.unmounts + " unmounts."));
}

function renderClock(clock) {
  const text = clock ? clock.now + (clock.fixed ? " (fixed)" : " (real time)")
                     : new Date().toISOString() + " (the machine's time)";
  document.getElementById("clock").textContent = text;
  document.getElementById("clock-controls").hidden = !clock;
}

function fillUserChoice(users) {
  const select = document.getElementById("purchase-user");
  const ids = users.map(u => String(u.id));
  if (Array.from(select.options).map(o => o.value).join() === ids.join()) return;
  const chosen = select.value;
  select.replaceChildren(...users.map(u => el("option", {value: u.id}, u.gamertag + " (" + u.id + ")")));
  if (ids.includes(chosen)) select.value = chosen;
}

let lastState = null;

async function poll() {
  const status = document.getElementById("status");
  try {
    const state = await call("GET", "/api/state");
    lastState = state;
    catalogByProduct = new Map(state.catalog.map(c => [c.productId, c]));
    renderInto("user-list", {users: state.users, catalog: state.catalog}, () => renderUsers(state.users));
    renderInto("ledger-list", {ledger: state.ledger, catalog: state.catalog}, () => renderLedger(state.ledger));
    renderInto("screen-list", {screens: state.screens, catalog: state.catalog}, () => renderScreens(state.screens));
    renderInto("catalog-list", state.catalog, renderCatalog);
    renderInto("package-list", {packages: state.packages, catalog: state.catalog}, () => renderPackages(state));
    renderInto("fault-list", state.faults, renderFaults);
    renderInto("call-list", state.calls, renderCalls);
    renderClock(state.clock);
    document.getElementById("save-world").hidden = !state.ledger;
    document.getElementById("hold-label").hidden = !state.screens;
    if (state.screens) document.getElementById("hold-screens").checked = state.screens.holding;
    fillUserChoice(state.users);
    status.textContent = "live · " + new Date().toLocaleTimeString();
    status.classList.remove("offline");
  } catch (e) {
    status.textContent = "not connected: " + e.message;
    status.classList.add("offline");
  }
}

function packageFor(productId) {
  const c = catalogByProduct.get(productId);
  const offer = c.availabilities[0] || {};
  return {
    packageFullName: productId + "_1.0.0.0_x64__velmora", titleId: hexTitle(c.titleId), productId,
    contentId: offer.contentId || "", displayName: c.name, version: "1.0.0.0",
    files: {"readme.txt": c.name + "\n"},
  };
}

function installedPackage(fullName) {
  const p = lastState.packages.find(x => x.packageFullName === fullName);
  return {
    packageFullName: p.packageFullName, titleId: p.titleId, contentId: p.contentId, productId: p.productId,
    displayName: p.displayName, publisher: p.publisher, version: p.version, contentType: p.contentType,
    licensed: p.licensed, contentGuid: p.contentGuid, folder: p.folder,
  };
}

const actions = {
  "buy": b => act("POST", "/api/purchases",
    {userId: Number(document.getElementById("purchase-user").value), productId: b.dataset.product}),
  "announce": b => act("POST", "/api/purchases/raised",
    {userId: Number(document.getElementById("purchase-user").value), productId: b.dataset.product}),
  "install": b => act("POST", "/api/installations", {package: packageFor(b.dataset.product), operation: "Install"}),
  "update": b => act("POST", "/api/installations", {package: installedPackage(b.dataset.package), operation: "Update"}),
  "refund": b => act("POST", "/api/refunds", {entryId: Number(b.dataset.entry)}),
  "decide": b => act("POST", "/api/screens/decide", {screenId: Number(b.dataset.screen), decision: b.dataset.decision}),
  "advance": b => act("POST", "/api/clock/advance", {seconds: Number(b.dataset.seconds)}),
  "real-time": () => act("POST", "/api/clock/real-time"),
  "clear-faults": () => act("DELETE", "/api/faults"),
  "clear-outcomes": () => act("DELETE", "/api/outcomes"),
  "load-default": () => act("POST", "/api/scenario/default"),
};

document.addEventListener("click", event => {
  const b = event.target.closest("button[data-action]");
  if (b && actions[b.dataset.action]) actions[b.dataset.action](b);
});

document.getElementById("fault-form").addEventListener("submit", event => {
  event.preventDefault();
  act("POST", "/api/faults", {
    call: document.getElementById("fault-call").value, hresult: document.getElementById("fault-hresult").value,
    times: Number(document.getElementById("fault-times").value),
  });
});

document.getElementById("outcome-form").addEventListener("submit", event => {
  event.preventDefault();
  act("POST", "/api/outcomes", {
    call: document.getElementById("outcome-call").value, kind: document.getElementById("outcome-kind").value,
    hresult: document.getElementById("outcome-hresult").value,
    delayUs: Number(document.getElementById("outcome-delay").value),
    times: Number(document.getElementById("outcome-times").value),
  });
});

document.getElementById("hold-screens").addEventListener("change", event =>
  act("POST", "/api/screens/hold", {hold: event.target.checked}));

document.getElementById("scenario-file").addEventListener("change", async event => {
  const file = event.target.files[0];
  if (file) await act("POST", "/api/scenario", await file.text());
  event.target.value = "";
});

async function start() {
  try {
    const known = await call("GET", "/api/known-calls");
    document.getElementById("known-calls").replaceChildren(...known.map(c => el("option", {value: c.call})));
    document.getElementById("operation-calls").replaceChildren(
      ...known.filter(c => c.startsOperation).map(c => el("option", {value: c.call})));
  } catch (e) {
    showError(e.message);
  }
  await poll();
  setInterval(poll, POLL_MS);
}

start();
