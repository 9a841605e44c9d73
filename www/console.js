// The teacher's console: course, roster, commands with their answers, the
// teacher's screen and the network adapters, all through ludarium's local
// API (api.js). Every text that comes from a student or the server is put
// into the page with textContent, never as HTML.
"use strict";

(() => {
  const REFRESH_MS = 2000;
  const ANSWER_POLL_MS = 1000;
  const ANSWER_WAIT_MS = 30000;
  const PING_MS = 20000;
  // The login-user store entry that keeps the teacher's group names.
  const GROUPS_LOGIN = "ludarium-console-groups";

  const $ = (id) => document.getElementById(id);
  const t = I18n.t;

  const state = {
    course: null,          // the published course ({} when none)
    students: [],          // online students of the class, ascending id
    firstSeen: new Map(),  // user id -> ms when the console first saw it online
    chosen: new Set(),     // user ids of the chosen tiles
    groupNames: new Map(), // group id -> name given by the teacher
    pending: null,         // the last command sent and who answered it
    lastId: 0,             // last instruction id used
    lastPing: 0,
  };

  // ---- small helpers -------------------------------------------------------

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // text may be a function that makes it, so a language switch can make it
  // again (rerenderMessages).
  function show(box, text, kind) {
    box.makeText = typeof text === "function" ? text : null;
    const shown = box.makeText ? box.makeText() : text || "";
    box.textContent = shown;
    box.className = "message" + (shown ? " " + (kind || "info") : "");
  }

  function showError(box, error) {
    show(box, () => (error instanceof ApiError ? error.text() : String(error.message || error)), "error");
  }

  function rerenderMessages() {
    for (const box of document.querySelectorAll(".message")) {
      if (box.makeText) box.textContent = box.makeText();
    }
  }

  function parseGroups(text) {
    try {
      const v = JSON.parse(text);
      if (Array.isArray(v)) return v.filter((g) => Number.isInteger(g));
    } catch (e) {
      // Not an array of group ids: the student is in no group.
    }
    return [];
  }

  function groupLabel(g) {
    const name = state.groupNames.get(g);
    return t("roster.group", { g }) + (name ? " " + name : "");
  }

  function classId() {
    const c = state.course;
    return c && Number.isInteger(c.class_id) && c.class_id !== -1 ? c.class_id : null;
  }

  function duration(ms) {
    const s = Math.max(0, Math.floor(ms / 1000));
    const two = (n) => String(n).padStart(2, "0");
    return s >= 3600 ? Math.floor(s / 3600) + ":" + two(Math.floor(s / 60) % 60) + ":" + two(s % 60)
                     : Math.floor(s / 60) + ":" + two(s % 60);
  }

  function wholeNumber(text, field) {
    const s = String(text).trim();
    if (!/^-?\d+$/.test(s)) throw new Error(t("err.number", { field }));
    return parseInt(s, 10);
  }

  // Instruction ids grow over time; the tablets and the server prefer the
  // highest one, so each is the clock's millisecond or one more than the last.
  function nextId() {
    state.lastId = Math.max(Date.now(), state.lastId + 1);
    return String(state.lastId);
  }

  // ---- course ----------------------------------------------------------------

  let courseFormDirty = false;

  function renderCourse() {
    const c = state.course || {};
    const published = classId() !== null;
    const line = $("course-line");
    line.textContent = published
      ? [t("course.class") + " " + c.class_id + " " + LudApi.decodeName(c.class_name),
         t("course.teacher") + " " + LudApi.decodeName(c.teacher_name)].join("  ·  ")
      : t("course.none");
    $("course-none").hidden = published;

    const form = $("course-form");
    if (!courseFormDirty && published) {
      form.teacher_id.value = c.teacher_id;
      form.teacher_name.value = LudApi.decodeName(c.teacher_name);
      form.class_id.value = c.class_id;
      form.class_name.value = LudApi.decodeName(c.class_name);
      form.grade_name.value = LudApi.decodeName(c.grade_name);
      form.subject_name.value = LudApi.decodeName(c.subject_name);
    }
    $("course-server").textContent = c.cache_addr
      ? c.cache_addr + (c.cache_describe ? " (" + c.cache_describe + ")" : "")
      : t("course.servers.none");
    $("course-running").textContent = c.runing ? t("yes") : t("no");
    $("broadcast-state").textContent = published
      ? t("net.broadcast.on", { ip: c.socket_ip || t("net.noaddress"), port: c.socket_port })
      : t("net.broadcast.off");
  }

  async function refreshCourse() {
    const reply = await LudApi.call("/getBroadcast");
    state.course = reply.broadcast || {};
    renderCourse();
    // The adapter in use changes with the course (a new course, another card).
    if (cardsShownFor !== null && cardsShownFor !== (state.course.socket_ip || "")) renderCards();
  }

  async function publishCourse(event) {
    event.preventDefault();
    const f = $("course-form");
    try {
      const info = {
        teacher: { user_id: wholeNumber(f.teacher_id.value, t("course.teacher")), name: f.teacher_name.value },
        grade: { name: f.grade_name.value },
        class: { class_id: wholeNumber(f.class_id.value, t("course.class")), name: f.class_name.value },
        subject: { name: f.subject_name.value },
      };
      await LudApi.call("/commitCourseInfo", { info });
      courseFormDirty = false;
      state.lastPing = 0;
      await refreshCourse();
      show($("course-message"), () => t("course.published"), "info");
      refreshRoster();
    } catch (e) {
      showError($("course-message"), e);
    }
  }

  // The watchdog ends a class whose teacher has not pinged for two minutes;
  // while the console is open it speaks for the course's teacher.
  async function pingTeacher() {
    const c = state.course;
    if (!c || !(c.teacher_id > 0) || Date.now() - state.lastPing < PING_MS) return;
    state.lastPing = Date.now();
    await LudApi.call("/ping", { info: { teacher_user_id: c.teacher_id } });
  }

  async function loadGroupsAndLogins() {
    const reply = await LudApi.call("/loginUserGet", { info: {} });
    const entries = Array.isArray(reply.recordset) ? reply.recordset : [];
    const others = [];
    let groupsText = "";
    for (const e of entries) {
      if (e.loginnm === GROUPS_LOGIN) groupsText = e.data || "";
      else others.push(e.loginnm);
    }
    $("logins").textContent = others.length ? others.join(", ") : t("course.logins.none");
    setGroupNames(groupsText);
    if (document.activeElement !== $("groups")) $("groups").value = groupsText;
  }

  function setGroupNames(text) {
    state.groupNames.clear();
    for (const line of text.split("\n")) {
      const m = /^\s*(-?\d+)\s*(.*)$/.exec(line);
      if (m) state.groupNames.set(parseInt(m[1], 10), m[2].trim());
    }
    renderGroupChoice();
  }

  async function saveGroups() {
    const text = $("groups").value.trim();
    try {
      // Empty data removes the entry.
      await LudApi.call("/loginUserSet", { info: { loginnm: GROUPS_LOGIN, data: text } });
      setGroupNames(text);
      renderRoster();
      show($("course-message"), () => t("course.groups.saved"), "info");
    } catch (e) {
      showError($("course-message"), e);
    }
  }

  async function refreshServers() {
    const reply = await LudApi.call("/getAPIServer", { info: {} });
    const rec = Array.isArray(reply.recordset) && reply.recordset[0];
    $("servers-recommended").textContent = rec
      ? rec.id + ": " + rec.address + (rec.describe ? " (" + rec.describe + ")" : "")
      : t("course.servers.none");
  }

  async function serverOperation(op) {
    const f = $("server-form");
    try {
      if (op === "add") {
        await LudApi.call("/addAPIServer", {
          info: { school_id: f.school_id.value, id: f.id.value, address: f.address.value,
                  describe: f.describe.value, recommend: f.recommend.checked ? 1 : 0 },
        });
      } else if (op === "select") {
        await LudApi.call("/selectAPIServer", { info: { id: f.id.value } });
      } else {
        await LudApi.call("/delAPIServer", { info: { id: f.id.value } });
      }
      await refreshServers();
      await refreshCourse();
      show($("course-message"), () => t("course.servers.done"), "info");
    } catch (e) {
      showError($("course-message"), e);
    }
  }

  // ---- roster ----------------------------------------------------------------

  async function refreshRoster() {
    const cid = classId();
    if (cid === null) {
      state.students = [];
      state.firstSeen.clear();
      renderRoster();
      return;
    }
    const reply = await LudApi.call("/activeUserList", { info: { class_id: cid, detail: 1 } });
    const rs = reply.recordset || {};
    // A server without the students' records still gives their ids.
    const list = Array.isArray(rs.students) ? rs.students
      : (rs.users || []).map((id) => ({ user_id: id }));
    const now = Date.now();
    const online = new Set();
    state.students = list.map((s) => {
      online.add(s.user_id);
      if (!state.firstSeen.has(s.user_id)) state.firstSeen.set(s.user_id, now);
      return {
        id: s.user_id,
        name: s.user_name || "",
        groups: parseGroups(s.group_id || ""),
        device: s.mtype || "",
        ip: s.user_ip || "",
      };
    });
    for (const id of [...state.firstSeen.keys()]) if (!online.has(id)) state.firstSeen.delete(id);
    for (const id of [...state.chosen]) if (!online.has(id)) state.chosen.delete(id);
    renderRoster();
  }

  function renderGroupChoice() {
    const select = $("target-group");
    const ids = new Set(state.groupNames.keys());
    for (const s of state.students) for (const g of s.groups) ids.add(g);
    const current = select.value;
    select.textContent = "";
    for (const g of [...ids].sort((a, b) => a - b)) {
      const o = el("option", null, groupLabel(g));
      o.value = String(g);
      select.appendChild(o);
    }
    if ([...select.options].some((o) => o.value === current)) select.value = current;
  }

  // Tiles are kept per student and updated in place, so a refresh never
  // replaces what the teacher is pointing at.
  const tileOf = new Map();

  function makeTile(id) {
    const tile = el("div", "tile");
    tile.dataset.userId = String(id);
    for (const part of ["name", "meta groups", "meta device", "meta time"]) tile.appendChild(el("div", part));
    tile.appendChild(el("span", "mark"));
    tile.addEventListener("click", () => {
      if (state.chosen.has(id)) state.chosen.delete(id);
      else state.chosen.add(id);
      renderRoster();
    });
    return tile;
  }

  function setText(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }

  function renderRoster() {
    const tiles = $("tiles");
    const counts = $("roster-counts");
    counts.textContent = "";
    if (classId() === null) {
      show($("roster-message"), t("roster.nocourse"), "info");
    } else if (state.students.length === 0) {
      show($("roster-message"), t("roster.nobody"), "info");
    } else {
      show($("roster-message"), "");
    }
    const perGroup = new Map();
    let ungrouped = 0;
    const now = Date.now();
    const pending = state.pending;
    const present = new Set();
    for (const s of state.students) {
      present.add(s.id);
      if (s.groups.length === 0) ungrouped++;
      for (const g of s.groups) perGroup.set(g, (perGroup.get(g) || 0) + 1);

      let tile = tileOf.get(s.id);
      if (!tile) {
        tile = makeTile(s.id);
        tileOf.set(s.id, tile);
      }
      const classes = ["tile"];
      if (s.groups.length) classes.push("g" + ((((s.groups[0] - 1) % 5) + 5) % 5 + 1));
      if (state.chosen.has(s.id)) classes.push("chosen");
      let mark = "";
      if (pending && pending.addressed.has(s.id)) {
        const answered = pending.answered.has(s.id);
        classes.push(answered ? "answered" : "waiting");
        mark = answered ? "\u2713" : "\u2026";
        tile.title = answered ? t("roster.answered") : t("roster.waiting");
      }
      if (!mark) tile.title = "";
      tile.className = classes.join(" ");
      tile.dataset.groups = s.groups.join(",");
      const [name, groups, device, time, markNode] = tile.children;
      setText(name, s.name || "#" + s.id);
      name.title = s.name;
      setText(groups, (s.groups.length ? s.groups.map((g) => groupLabel(g)).join(", ") : t("roster.nogroup")) +
                      " \u00b7 #" + s.id);
      setText(device, [s.ip, s.device].filter(Boolean).join(" \u00b7 "));
      setText(time, t("roster.online", { t: duration(now - state.firstSeen.get(s.id)) }));
      setText(markNode, mark);
      tiles.appendChild(tile);  // moves it into roster order
    }
    for (const [id, tile] of tileOf) {
      if (!present.has(id)) {
        tile.remove();
        tileOf.delete(id);
      }
    }
    if (classId() !== null) {
      counts.appendChild(el("span", "total", t("roster.count", { n: state.students.length })));
      for (const g of [...perGroup.keys()].sort((a, b) => a - b)) {
        const c = el("span", "group", groupLabel(g) + ": " + perGroup.get(g));
        c.dataset.group = String(g);
        counts.appendChild(c);
      }
      if (ungrouped) counts.appendChild(el("span", "group", t("roster.nogroup") + ": " + ungrouped));
    }
    $("roster-selected").textContent = state.chosen.size ? t("roster.selected", { n: state.chosen.size }) : "";
    $("roster-clear").hidden = state.chosen.size === 0;
    renderGroupChoice();
  }

  // ---- commands --------------------------------------------------------------

  function targetMode() {
    return document.querySelector("input[name=target]:checked").value;
  }

  // The target for the server and the online students it addresses now.
  function buildTarget(cid) {
    const mode = targetMode();
    if (mode === "group") {
      const g = parseInt($("target-group").value, 10);
      if (!Number.isInteger(g)) throw new Error(t("cmd.err.nogroup"));
      return {
        target: { type: "group", class_id: cid, groups: [g] },
        addressed: state.students.filter((s) => s.groups.includes(g)).map((s) => s.id),
        description: () => groupLabel(g),
      };
    }
    if (mode === "users") {
      const users = [...state.chosen].sort((a, b) => a - b);
      if (users.length === 0) throw new Error(t("cmd.err.nousers"));
      return { target: { type: "user", class_id: cid, users }, addressed: users,
               description: () => t("cmd.to.desc.users", { n: users.length }) };
    }
    return { target: { type: "class", class_id: cid }, addressed: state.students.map((s) => s.id),
             description: () => t("cmd.to.desc.class") };
  }

  async function sendCommand(action, moreParams) {
    const box = $("cmd-message");
    try {
      const cid = classId();
      if (cid === null) throw new Error(t("cmd.err.nocourse"));
      const { target, addressed, description } = buildTarget(cid);
      const id = nextId();
      const command = { id, params: Object.assign({}, moreParams || {}, { action }) };
      await LudApi.call("/sendCmd", { target: JSON.stringify(target), command: JSON.stringify(command) });
      show(box, () => t("cmd.sent", { action, id, to: description() }), "info");
      startWaiting(cid, id, addressed);
    } catch (e) {
      showError(box, e);
    }
  }

  function startWaiting(cid, id, addressed) {
    if (state.pending) clearTimeout(state.pending.timer);
    const pending = { cid, id, addressed: new Set(addressed), answered: new Set(),
                      started: Date.now(), timer: null, over: false };
    state.pending = pending;
    renderProgress();
    renderRoster();
    const poll = async () => {
      if (state.pending !== pending) return;
      try {
        const reply = await LudApi.call("/userResponse", { info: { class_id: cid, command_id: id } });
        for (const u of (reply.recordset && reply.recordset.users) || []) {
          if (pending.addressed.has(u)) pending.answered.add(u);
        }
      } catch (e) {
        showError($("cmd-message"), e);
      }
      if (state.pending !== pending) return;
      const all = pending.answered.size >= pending.addressed.size;
      pending.over = all || Date.now() - pending.started >= ANSWER_WAIT_MS;
      renderProgress();
      renderRoster();
      if (!pending.over) pending.timer = setTimeout(poll, ANSWER_POLL_MS);
    };
    pending.timer = setTimeout(poll, Math.min(300, ANSWER_POLL_MS));
  }

  function renderProgress() {
    const p = state.pending;
    const bar = $("progress");
    const text = $("progress-text");
    if (!p) {
      bar.hidden = true;
      text.textContent = "";
      return;
    }
    const n = p.answered.size;
    const m = p.addressed.size;
    bar.hidden = false;
    bar.max = Math.max(m, 1);
    bar.value = m ? n : 1;
    bar.dataset.answered = String(n);
    bar.dataset.addressed = String(m);
    if (n >= m) text.textContent = t("cmd.progress.done", { n, m });
    else if (p.over) text.textContent = t("cmd.progress.timeout", { n, m });
    else text.textContent = t("cmd.progress", { n, m });
  }

  function sendFreeCommand() {
    const action = $("free-action").value.trim();
    if (!action) return show($("cmd-message"), t("cmd.err.noaction"), "error");
    let more = {};
    const text = $("free-params").value.trim();
    if (text) {
      try {
        more = JSON.parse(text);
      } catch (e) {
        more = null;
      }
      if (!more || typeof more !== "object" || Array.isArray(more)) {
        return show($("cmd-message"), t("cmd.err.params"), "error");
      }
    }
    return sendCommand(action, more);
  }

  // ---- teacher's screen ------------------------------------------------------

  async function capture() {
    const box = $("screen-message");
    const img = $("screen-image");
    show(box, "");
    try {
      const reply = await LudApi.call("/captureScreen",
                                      { info: { cap_wnd: $("capture-window").checked, fmt: "json" } });
      if (typeof reply.img !== "string" || !reply.img.startsWith("data:image/png;base64,")) {
        throw new ApiError("badreply", String(reply.img).slice(0, 60));
      }
      img.src = reply.img;
      img.hidden = false;
    } catch (e) {
      img.hidden = true;
      showError(box, e);
    }
  }

  // ---- network ---------------------------------------------------------------

  let cards = [];         // the adapters last listed
  let cardsShownFor = null; // the course address the table marks as in use

  async function refreshCards() {
    try {
      const reply = await LudApi.call("/getMoreNetCardInfo");
      cards = Array.isArray(reply.recordset) ? reply.recordset : [];
      renderCards();
    } catch (e) {
      showError($("net-message"), e);
    }
  }

  function renderCards() {
    const body = document.querySelector("#cards tbody");
    const inUse = (state.course && state.course.socket_ip) || "";
    cardsShownFor = inUse;
    body.textContent = "";
    for (const card of cards) {
      const row = el("tr");
      const name = el("td", "name", card.desc || card.name);
      name.title = (card.name || "") + (card.desc ? " \u2014 " + card.desc : "");
      row.appendChild(name);
      for (const key of ["IP Address", "IP Mask", "Gateway", "mac"]) row.appendChild(el("td", null, card[key] || ""));
      const cell = el("td");
      if (inUse && card["IP Address"] === inUse) {
        cell.textContent = t("net.current");
      } else {
        const b = el("button", null, t("net.use"));
        b.type = "button";
        b.addEventListener("click", () => selectCard(card["IP Address"]));
        cell.appendChild(b);
      }
      row.appendChild(cell);
      body.appendChild(row);
    }
    show($("net-message"), cards.length ? "" : () => t("net.none"), "info");
  }

  async function selectCard(ip) {
    try {
      await LudApi.call("/selectNetCard", { info: { ip } });
      await refreshCourse();
      await refreshCards();
    } catch (e) {
      showError($("net-message"), e);
    }
  }

  // ---- web pages allowed to use the classroom -------------------------------

  let webPages = { allowed: [], refused: [] };

  async function refreshWebPages() {
    const reply = await LudApi.call("/getWebOrigins");
    const o = reply.origins || {};
    webPages = { allowed: Array.isArray(o.allowed) ? o.allowed : [],
                 refused: Array.isArray(o.refused) ? o.refused : [] };
    renderWebPages();
  }

  // Origins are kept with their port written out; the default ones are left
  // out when shown.
  function shownOrigin(origin) {
    return String(origin).replace(/^(http:\/\/.*):80$/, "$1").replace(/^(https:\/\/.*):443$/, "$1");
  }

  function renderWebPages() {
    const list = $("web-allowed");
    list.textContent = "";
    for (const origin of webPages.allowed) {
      const item = el("li", null);
      item.appendChild(el("span", "origin", shownOrigin(origin)));
      const b = el("button", null, t("web.remove"));
      b.type = "button";
      b.setAttribute("aria-label", t("web.remove") + " " + shownOrigin(origin));
      b.addEventListener("click", () => changeWebPage(origin, false));
      item.appendChild(b);
      list.appendChild(item);
    }
    if (!webPages.allowed.length) list.appendChild(el("li", "hint", t("web.none")));
    const body = document.querySelector("#web-refused tbody");
    body.textContent = "";
    for (const r of webPages.refused) {
      const row = el("tr");
      row.appendChild(el("td", "origin", shownOrigin(r.origin)));
      row.appendChild(el("td", null, r.uri));
      row.appendChild(el("td", null, new Date(Number(r.time)).toLocaleString()));
      row.appendChild(el("td", null, String(r.count)));
      const cell = el("td");
      const b = el("button", null, t("web.add"));
      b.type = "button";
      b.setAttribute("aria-label", t("web.add") + " " + shownOrigin(r.origin));
      b.addEventListener("click", () => changeWebPage(r.origin, true));
      cell.appendChild(b);
      row.appendChild(cell);
      body.appendChild(row);
    }
    if (!webPages.refused.length) {
      const row = el("tr");
      const cell = el("td", "hint", t("web.norefused"));
      cell.colSpan = 5;
      row.appendChild(cell);
      body.appendChild(row);
    }
  }

  async function changeWebPage(origin, allow) {
    try {
      await LudApi.call(allow ? "/addWebOrigin" : "/delWebOrigin", { info: { origin } });
      show($("web-message"), () => t(allow ? "web.added" : "web.removed", { origin: shownOrigin(origin) }), "info");
      await refreshWebPages();
      return true;
    } catch (e) {
      showError($("web-message"), e);
      return false;
    }
  }

  // ---- the refresh cycle -----------------------------------------------------

  let serverOk = null;

  function setServerState(ok, error) {
    serverOk = ok;
    const s = $("server-state");
    s.className = "state " + (ok ? "ok" : "down");
    s.textContent = ok ? t("server.ok") : t("server.down");
    s.title = error ? (error instanceof ApiError ? error.text() : String(error)) : "";
  }

  async function cycle() {
    try {
      await refreshCourse();
      await refreshRoster();
      setServerState(true);
      await pingTeacher();
      if ($("web-pages").open) await refreshWebPages();
    } catch (e) {
      setServerState(false, e);
      showError($("roster-message"), e);
    }
    setTimeout(cycle, REFRESH_MS);
  }

  async function loadOnce(loader, box) {
    try {
      await loader();
    } catch (e) {
      showError(box, e);
    }
  }

  function start() {
    I18n.apply();
    const host = location.hostname;
    if (location.protocol.startsWith("http") && host !== "127.0.0.1" && host !== "localhost") {
      const banner = $("remote-banner");
      banner.textContent = t("remote.banner", { port: location.port || "40080" });
      banner.hidden = false;
    }
    $("lang").addEventListener("click", () => I18n.setLanguage(I18n.language() === "zh" ? "en" : "zh"));
    I18n.onChange(() => {
      rerenderMessages();
      if (serverOk !== null) setServerState(serverOk);
      if (!$("remote-banner").hidden) {
        $("remote-banner").textContent = t("remote.banner", { port: location.port || "40080" });
      }
      renderCourse();
      renderRoster();
      renderProgress();
      renderCards();
      renderWebPages();
      loadOnce(refreshServers, $("course-message"));
      loadOnce(loadGroupsAndLogins, $("course-message"));
    });
    $("course-form").addEventListener("submit", publishCourse);
    $("course-form").addEventListener("input", () => { courseFormDirty = true; });
    $("groups-save").addEventListener("click", saveGroups);
    for (const b of document.querySelectorAll("#server-form button")) {
      b.addEventListener("click", () => serverOperation(b.dataset.op));
    }
    for (const b of document.querySelectorAll("#commands button[data-action]")) {
      b.addEventListener("click", () => sendCommand(b.dataset.action));
    }
    $("free-send").addEventListener("click", sendFreeCommand);
    $("roster-clear").addEventListener("click", () => { state.chosen.clear(); renderRoster(); });
    $("capture").addEventListener("click", capture);
    $("net-refresh").addEventListener("click", refreshCards);
    $("web-pages").addEventListener("toggle", () => {
      if ($("web-pages").open) loadOnce(refreshWebPages, $("web-message"));
    });
    $("web-form").addEventListener("submit", (event) => {
      event.preventDefault();
      const origin = $("web-origin").value.trim();
      if (origin) changeWebPage(origin, true).then((done) => { if (done) $("web-origin").value = ""; });
    });
    show($("screen-message"), () => t("screen.none"), "info");

    renderRoster();
    cycle().then(refreshCards);
    loadOnce(refreshServers, $("course-message"));
    loadOnce(loadGroupsAndLogins, $("course-message"));
  }

  start();
})();
