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
  // The students' records are asked for when someone new is online and at
  // least this often (a student may log in again with other groups); the
  // refreshes between ask for the online ids alone, a reply some thirty
  // times smaller.
  const DETAIL_MS = 10000;
  // The server takes a /sendCmd target of at most this many bytes; a longer
  // choice of students goes out as several commands.
  const TARGET_MAX = 1023;
  // Class-wide commands that ask before they go.
  const ASK_FIRST = new Set(["lock_screen", "end_class"]);

  const $ = (id) => document.getElementById(id);
  const t = I18n.t;

  const state = {
    course: null,          // the published course ({} when none)
    students: [],          // online students of the class, ascending id
    byId: new Map(),       // user id -> the student's last known record
    detailAt: 0,           // ms when the records were last asked for
    firstSeen: new Map(),  // user id -> ms when the console first saw it online
    lesson: null,          // class id the roster's lesson is of
    left: new Map(),       // user id -> ms it went offline, this lesson
    stale: 0,              // ms the server stopped answering (0: it answers)
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
    show(box, () => errorText(error), "error");
  }

  function errorText(error) {
    return error instanceof ApiError ? error.text() : String(error.message || error);
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

  // Labels are made once per group and language (thousands of tiles name
  // a handful of groups).
  const groupLabels = new Map();

  function groupLabel(g) {
    let label = groupLabels.get(g);
    if (label === undefined) {
      const name = state.groupNames.get(g);
      label = t("roster.group", { g }) + (name ? " " + name : "");
      groupLabels.set(g, label);
    }
    return label;
  }

  // A colour per group that stays apart from the others however many there
  // are: hues a golden angle apart, lightness alternating in threes.
  function groupColour(g) {
    const n = Math.abs(g);
    const hue = Math.round((n * 137.508 + 210) % 360);
    return "hsl(" + hue + ", 65%, " + [38, 50, 30][n % 3] + "%)";
  }

  function classId() {
    const c = state.course;
    return c && Number.isInteger(c.class_id) && c.class_id !== -1 ? c.class_id : null;
  }

  function minutes(ms) {
    const m = Math.max(0, Math.floor(ms / 60000));
    return m < 60 ? t("time.min", { m }) : t("time.hmin", { h: Math.floor(m / 60), m: m % 60 });
  }

  function clock(ms) {
    return new Date(ms).toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" });
  }

  // When the tablet says its student logged in ("log_time"): seconds or
  // milliseconds since 1970, or a local "YYYY-MM-DD HH:MM[:SS]". null when
  // it says nothing usable, or a time ahead of this PC's clock.
  function loginTime(text) {
    const s = String(text || "").trim();
    let ms = NaN;
    if (/^\d{9,10}$/.test(s)) ms = parseInt(s, 10) * 1000;
    else if (/^\d{12,13}$/.test(s)) ms = parseInt(s, 10);
    else {
      const m = /^(\d{4})-(\d\d)-(\d\d)[ T](\d\d):(\d\d)(?::(\d\d))?/.exec(s);
      if (m) ms = new Date(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0)).getTime();
    }
    return Number.isFinite(ms) && ms <= Date.now() + 60000 ? ms : null;
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

  async function loadLogins() {
    const reply = await LudApi.call("/loginUserGet", { info: {} });
    const entries = Array.isArray(reply.recordset) ? reply.recordset : [];
    const names = entries.map((e) => e.loginnm);
    $("logins").textContent = names.length ? names.join(", ") : t("course.logins.none");
  }

  // The teacher's names of the groups, kept by ludarium in a store of their
  // own; the textarea shows them one "<id> <name>" a line.
  async function loadGroups() {
    const reply = await LudApi.call("/getConsoleGroups");
    state.groupNames.clear();
    for (const g of Array.isArray(reply.groups) ? reply.groups : []) {
      if (Number.isInteger(g.group_id)) state.groupNames.set(g.group_id, String(g.name));
    }
    if (document.activeElement !== $("groups")) {
      $("groups").value = [...state.groupNames].map(([g, name]) => g + " " + name).join("\n");
    }
    groupLabels.clear();
    renderRoster();
  }

  function parseGroupLines(text) {
    const groups = [];
    for (const line of text.split("\n")) {
      const m = /^\s*(-?\d{1,9})\s*(.*)$/.exec(line);
      if (m && m[2].trim()) groups.push({ group_id: parseInt(m[1], 10), name: m[2].trim() });
    }
    return groups;
  }

  async function saveGroups() {
    try {
      const groups = parseGroupLines($("groups").value);
      const seen = new Set();
      for (const g of groups) {
        if (seen.has(g.group_id)) throw new Error(t("course.groups.twice", { g: g.group_id }));
        seen.add(g.group_id);
      }
      await LudApi.call("/setConsoleGroups", { info: { groups } });
      await loadGroups();
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

  function studentOf(s) {
    return {
      id: s.user_id,
      name: s.user_name || "",
      groups: parseGroups(s.group_id || ""),
      device: s.mtype || "",
      ip: s.user_ip || "",
      login: loginTime(s.log_time),
    };
  }

  async function refreshRoster() {
    const cid = classId();
    if (cid !== state.lesson) {
      // Another class (or none): a new lesson, nobody has left it yet.
      state.lesson = cid;
      state.left.clear();
      state.firstSeen.clear();
      state.byId.clear();
      state.chosen.clear();
      state.detailAt = 0;
    }
    if (cid === null) {
      state.students = [];
      renderRoster();
      return;
    }
    const now = Date.now();
    let detail = now - state.detailAt >= DETAIL_MS;
    let rs = {};
    if (!detail) {
      const reply = await LudApi.call("/activeUserList", { info: { class_id: cid } });
      rs = reply.recordset || {};
      // Someone the console has no record of: ask for the records now.
      detail = (rs.users || []).some((id) => !state.byId.has(id));
    }
    if (detail) {
      const reply = await LudApi.call("/activeUserList", { info: { class_id: cid, detail: 1 } });
      rs = reply.recordset || {};
      state.detailAt = now;
      // A server without the students' records still gives their ids.
      const list = Array.isArray(rs.students) ? rs.students : (rs.users || []).map((id) => ({ user_id: id }));
      for (const s of list) state.byId.set(s.user_id, studentOf(s));
    }
    const ids = Array.isArray(rs.users) ? rs.users : [];
    const online = new Set(ids);
    for (const id of ids) {
      if (!state.firstSeen.has(id)) state.firstSeen.set(id, now);
      state.left.delete(id);
    }
    for (const s of state.students) {
      if (!online.has(s.id)) state.left.set(s.id, now);
    }
    for (const id of [...state.firstSeen.keys()]) if (!online.has(id)) state.firstSeen.delete(id);
    for (const id of [...state.chosen]) if (!online.has(id)) state.chosen.delete(id);
    state.students = ids.map((id) => state.byId.get(id) || studentOf({ user_id: id }));
    renderRoster();
  }

  // How long the student has been online: from the tablet's own login time
  // when it gave one, else from when this page first saw it.
  function onlineSince(s) {
    return s.login !== null ? s.login : state.firstSeen.get(s.id) || Date.now();
  }

  let groupChoiceKey = "";

  // Rebuilt only when the groups or their names change, so an open
  // drop-down stays open across refreshes.
  function renderGroupChoice() {
    const select = $("target-group");
    const ids = new Set(state.groupNames.keys());
    for (const s of state.students) for (const g of s.groups) ids.add(g);
    const sorted = [...ids].sort((a, b) => a - b);
    const key = sorted.map((g) => g + "\u0001" + groupLabel(g)).join("\u0002");
    if (key === groupChoiceKey) return;
    groupChoiceKey = key;
    const current = select.value;
    select.textContent = "";
    for (const g of sorted) {
      const o = el("option", null, groupLabel(g));
      o.value = String(g);
      select.appendChild(o);
    }
    if ([...select.options].some((o) => o.value === current)) select.value = current;
  }

  // Tiles are kept per student and updated in place: a refresh changes only
  // what changed and moves tiles only when the order changed, so it never
  // replaces what the teacher is pointing at.
  const tileOf = new Map();
  let shownOrder = [];   // user ids of the tiles in the page, in page order
  let focusId = null;    // the tile that takes the keyboard focus (tabindex 0)

  function makeTile(id) {
    const tile = el("div", "tile");
    tile.dataset.userId = String(id);
    tile.setAttribute("role", "option");
    tile.tabIndex = -1;
    for (const part of ["name", "meta groups", "meta device", "meta time"]) tile.appendChild(el("div", part));
    const mark = el("span", "mark");
    mark.setAttribute("aria-hidden", "true");
    tile.appendChild(mark);
    tile.appendChild(el("span", "sr state"));
    tile.addEventListener("click", () => {
      focusId = id;
      toggleChosen([id]);
    });
    return tile;
  }

  function setText(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }

  function setAttr(node, name, value) {
    if (node.getAttribute(name) !== value) node.setAttribute(name, value);
  }

  function filterText() {
    return $("roster-filter").value.trim().toLowerCase().replace(/^#/, "");
  }

  function matches(s, f) {
    return !f || String(s.id).includes(f) || s.name.toLowerCase().includes(f);
  }

  function byName(a, b) {
    return (a.name || "#" + a.id).localeCompare(b.name || "#" + b.id, undefined, { numeric: true }) || a.id - b.id;
  }

  const SORTS = {
    id: (a, b) => a.id - b.id,
    name: byName,
    group: (a, b) => {
      const ga = a.groups.length ? Math.min(...a.groups) : Infinity;
      const gb = b.groups.length ? Math.min(...b.groups) : Infinity;
      return ga === gb ? byName(a, b) : ga < gb ? -1 : 1;
    },
    time: (a, b) => onlineSince(a) - onlineSince(b) || a.id - b.id,  // longest online first
  };

  // The students shown: those the search finds, in the chosen order.
  function shownStudents() {
    const f = filterText();
    const list = f ? state.students.filter((s) => matches(s, f)) : state.students.slice();
    const sort = SORTS[$("roster-sort").value] || SORTS.id;
    if (sort !== SORTS.id) list.sort(sort);
    return list;
  }

  function renderTile(tile, s, now) {
    const pending = state.pending;
    const classes = ["tile"];
    if (state.chosen.has(s.id)) classes.push("chosen");
    let mark = "";
    let said = "";
    if (pending && pending.addressed.has(s.id)) {
      const answered = pending.answered.has(s.id);
      classes.push(answered ? "answered" : "waiting");
      mark = answered ? "\u2713" : "\u2026";
      said = answered ? t("roster.answered") : pending.over ? t("roster.noanswer") : t("roster.waiting");
    }
    setAttr(tile, "class", classes.join(" "));
    setAttr(tile, "aria-selected", state.chosen.has(s.id) ? "true" : "false");
    setAttr(tile, "title", said);
    const colour = s.groups.length ? groupColour(s.groups[0]) : "";
    if (tile.dataset.colour !== colour) {
      tile.dataset.colour = colour;
      tile.style.borderLeftColor = colour;
    }
    const groups = s.groups.join(",");
    if (tile.dataset.groups !== groups) tile.dataset.groups = groups;
    const [name, groupsNode, device, time, markNode, stateNode] = tile.children;
    setText(name, s.name || "#" + s.id);
    setAttr(name, "title", s.name);
    setText(groupsNode, (s.groups.length ? s.groups.map(groupLabel).join(", ") : t("roster.nogroup")) +
                        " \u00b7 #" + s.id);
    setText(device, [s.ip, s.device].filter(Boolean).join(" \u00b7 "));
    setText(time, t("roster.online", { t: minutes(now - onlineSince(s)) }));
    setText(markNode, mark);
    setText(stateNode, said ? ", " + said : "");
    tile.tabIndex = s.id === focusId ? 0 : -1;
  }

  function renderRoster() {
    const tiles = $("tiles");
    const published = classId() !== null;
    // While the server does not answer, the box says why.
    if (state.stale) {
      // left as the failed refresh wrote it
    } else if (!published) {
      show($("roster-message"), () => t("roster.nocourse"), "info");
    } else if (state.students.length === 0) {
      show($("roster-message"), () => t("roster.nobody"), "info");
    } else {
      show($("roster-message"), "");
    }
    renderStale();
    const now = Date.now();
    const shown = shownStudents();
    const present = new Set();
    for (const s of state.students) present.add(s.id);
    if (focusId === null || !shown.some((s) => s.id === focusId)) focusId = shown.length ? shown[0].id : null;
    for (const s of shown) {
      let tile = tileOf.get(s.id);
      if (!tile) {
        tile = makeTile(s.id);
        tileOf.set(s.id, tile);
      }
      renderTile(tile, s, now);
    }
    for (const [id, tile] of tileOf) {
      if (!present.has(id)) {
        tile.remove();
        tileOf.delete(id);
      }
    }
    // Tiles move only when the order shown changed.
    const order = shown.map((s) => s.id);
    if (order.length !== shownOrder.length || order.some((id, i) => id !== shownOrder[i])) {
      const keep = document.activeElement;
      const fragment = document.createDocumentFragment();
      for (const id of order) fragment.appendChild(tileOf.get(id));
      const wanted = new Set(order);
      for (const tile of [...tiles.children]) if (!wanted.has(Number(tile.dataset.userId))) tile.remove();
      tiles.appendChild(fragment);
      if (keep && keep !== document.activeElement && tiles.contains(keep)) keep.focus();
      shownOrder = order;
    }
    renderCounts(shown.length);
    renderLeft();
    renderGroupChoice();
    renderTarget();
    renderMissing();
  }

  let countsKey = "";

  function renderCounts(shownCount) {
    const counts = $("roster-counts");
    const parts = [];
    if (classId() !== null) {
      const perGroup = new Map();
      let ungrouped = 0;
      for (const s of state.students) {
        if (s.groups.length === 0) ungrouped++;
        for (const g of s.groups) perGroup.set(g, (perGroup.get(g) || 0) + 1);
      }
      parts.push(["total", state.stale ? t("roster.count.stale", { n: state.students.length })
                                        : t("roster.count", { n: state.students.length }), null]);
      if (shownCount !== state.students.length) parts.push(["total", t("roster.shown", { n: shownCount }), null]);
      for (const g of [...perGroup.keys()].sort((a, b) => a - b)) {
        parts.push(["group", groupLabel(g) + ": " + perGroup.get(g), g]);
      }
      if (ungrouped) parts.push(["group", t("roster.nogroup") + ": " + ungrouped, null]);
    }
    const key = JSON.stringify(parts);
    if (key !== countsKey) {
      countsKey = key;
      counts.textContent = "";
      for (const [kind, text, g] of parts) {
        const c = el("span", kind, text);
        if (g !== null) {
          c.dataset.group = String(g);
          c.style.borderLeft = "4px solid " + groupColour(g);
        }
        counts.appendChild(c);
      }
    }
    setText($("roster-selected"), state.chosen.size ? t("roster.selected", { n: state.chosen.size }) : "");
  }

  // Who was online in this lesson and is not now.
  function renderLeft() {
    const box = $("left");
    const list = $("left-list");
    const ids = [...state.left.keys()].sort((a, b) => state.left.get(a) - state.left.get(b) || a - b);
    box.hidden = ids.length === 0;
    setText($("left-title"), t("roster.left", { n: ids.length }));
    const text = ids.map((id) => {
      const s = state.byId.get(id);
      return (s && s.name ? s.name : "#" + id) + " (" + clock(state.left.get(id)) + ")";
    }).join(", ");
    setText(list, text);
  }

  function renderStale() {
    const roster = $("roster");
    const stale = state.stale !== 0 && classId() !== null;
    roster.classList.toggle("stale", stale);
    $("tiles").setAttribute("aria-busy", stale ? "true" : "false");
    const box = $("roster-stale");
    box.hidden = !stale;
    setText(box, stale ? t("roster.stale", { time: clock(state.stale) }) : "");
  }

  // ---- choosing tiles -------------------------------------------------------

  // Choosing tiles makes them the target of the next command.
  function setChosen(ids) {
    state.chosen = new Set(ids);
    if (state.chosen.size) document.querySelector("input[name=target][value=users]").checked = true;
    renderRoster();
  }

  function toggleChosen(ids) {
    const next = new Set(state.chosen);
    for (const id of ids) if (next.has(id)) next.delete(id); else next.add(id);
    setChosen(next);
  }

  function chooseAll() {
    setChosen([...state.chosen, ...shownStudents().map((s) => s.id)]);
  }

  function chooseNone() {
    setChosen([]);
  }

  function invertChoice() {
    toggleChosen(shownStudents().map((s) => s.id));
  }

  // The tiles form a list box: arrows move the focus (up and down by a row
  // of the grid), Space or Enter chooses, Home and End go to the ends.
  function onTilesKey(event) {
    const tile = event.target.closest && event.target.closest(".tile");
    if (!tile) return;
    const id = Number(tile.dataset.userId);
    const i = shownOrder.indexOf(id);
    const perRow = Math.max(1, getComputedStyle($("tiles")).gridTemplateColumns.split(" ").length);
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -perRow, ArrowDown: perRow,
                   Home: -Infinity, End: Infinity }[event.key];
    if (step !== undefined) {
      const j = Math.min(shownOrder.length - 1, Math.max(0, i + step));
      focusTile(shownOrder[j]);
      event.preventDefault();
    } else if (event.key === " " || event.key === "Enter") {
      toggleChosen([id]);
      event.preventDefault();
    } else if ((event.key === "a" || event.key === "A") && (event.ctrlKey || event.metaKey)) {
      chooseAll();
      event.preventDefault();
    }
  }

  function focusTile(id) {
    const old = tileOf.get(focusId);
    if (old) old.tabIndex = -1;
    focusId = id;
    const tile = tileOf.get(id);
    if (tile) {
      tile.tabIndex = 0;
      tile.focus();
    }
  }

  // ---- commands --------------------------------------------------------------

  function targetMode() {
    return document.querySelector("input[name=target]:checked").value;
  }

  // Splits user ids into /sendCmd targets that each fit the server's limit.
  function userTargets(cid, users) {
    const targets = [];
    let part = [];
    const size = (ids) => JSON.stringify({ type: "user", class_id: cid, users: ids }).length;
    for (const id of users) {
      if (part.length && size(part.concat([id])) > TARGET_MAX) {
        targets.push(part);
        part = [];
      }
      part.push(id);
    }
    if (part.length) targets.push(part);
    return targets.map((ids) => ({ target: { type: "user", class_id: cid, users: ids }, users: ids }));
  }

  // What the next command goes to: its /sendCmd targets, the online
  // students it addresses now and a description.
  function buildTarget(cid, users) {
    const mode = users ? "users" : targetMode();
    if (mode === "group") {
      const g = parseInt($("target-group").value, 10);
      if (!Number.isInteger(g)) throw new Error(t("cmd.err.nogroup"));
      const addressed = state.students.filter((s) => s.groups.includes(g)).map((s) => s.id);
      return { mode, parts: [{ target: { type: "group", class_id: cid, groups: [g] }, users: addressed }],
               addressed, description: () => t("cmd.to.desc.group", { group: groupLabel(g), n: addressed.length }) };
    }
    if (mode === "users") {
      const ids = [...(users || state.chosen)].sort((a, b) => a - b);
      if (ids.length === 0) throw new Error(t("cmd.err.nousers"));
      return { mode, parts: userTargets(cid, ids), addressed: ids,
               description: () => t("cmd.to.desc.users", { n: ids.length }) };
    }
    const addressed = state.students.map((s) => s.id);
    return { mode, parts: [{ target: { type: "class", class_id: cid }, users: addressed }], addressed,
             description: () => t("cmd.to.desc.class", { n: addressed.length }) };
  }

  // The target and its count, always beside the command buttons.
  function renderTarget() {
    const mode = targetMode();
    let text;
    if (mode === "group") {
      const g = parseInt($("target-group").value, 10);
      text = Number.isInteger(g)
        ? t("cmd.target.group", { group: groupLabel(g), n: state.students.filter((s) => s.groups.includes(g)).length })
        : t("cmd.err.nogroup");
    } else if (mode === "users") {
      text = state.chosen.size ? t("cmd.target.users", { n: state.chosen.size }) : t("cmd.err.nousers");
    } else {
      text = t("cmd.target.class", { n: state.students.length });
    }
    const box = $("target-summary");
    setText(box, text);
    box.className = "target-summary " + mode;
  }

  let asking = null;  // the command waiting for the teacher's yes

  function askFirst(action, moreParams) {
    const cid = classId();
    if (cid === null || targetMode() !== "class" || !ASK_FIRST.has(action)) return false;
    asking = { action, moreParams };
    const button = document.querySelector("#commands button[data-action=" + action + "]");
    setText($("confirm-text"), t("cmd.confirm", { action: button ? button.textContent : action,
                                                   n: state.students.length }));
    setText($("confirm-yes"), button ? button.textContent : action);
    $("confirm").hidden = false;
    $("confirm-yes").focus();
    return true;
  }

  function answerAsk(yes) {
    const a = asking;
    asking = null;
    $("confirm").hidden = true;
    if (yes && a) sendCommand(a.action, a.moreParams, null, true);
  }

  async function sendCommand(action, moreParams, users, confirmed) {
    const box = $("cmd-message");
    if (!confirmed && !users && askFirst(action, moreParams)) return;
    try {
      const cid = classId();
      if (cid === null) throw new Error(t("cmd.err.nocourse"));
      const { parts, addressed, description } = buildTarget(cid, users);
      const params = Object.assign({}, moreParams || {}, { action });
      const sent = [];
      for (const part of parts) {
        const id = nextId();
        const command = { id, params };
        await LudApi.call("/sendCmd", { target: JSON.stringify(part.target), command: JSON.stringify(command) });
        sent.push({ id, users: new Set(part.users) });
      }
      const ids = sent.map((p) => p.id).join(", ");
      show(box, () => (sent.length > 1 ? t("cmd.sent.parts", { action, id: ids, to: description(), k: sent.length })
                                       : t("cmd.sent", { action, id: ids, to: description() })), "info");
      startWaiting(cid, action, moreParams, sent, addressed);
    } catch (e) {
      showError(box, e);
    }
  }

  function startWaiting(cid, action, moreParams, parts, addressed) {
    if (state.pending) clearTimeout(state.pending.timer);
    const pending = { cid, action, moreParams, parts, addressed: new Set(addressed), answered: new Set(),
                      started: Date.now(), timer: null, over: false };
    state.pending = pending;
    renderProgress();
    renderRoster();
    const poll = async () => {
      if (state.pending !== pending) return;
      try {
        for (const part of pending.parts) {
          const reply = await LudApi.call("/userResponse", { info: { class_id: cid, command_id: part.id } });
          for (const u of (reply.recordset && reply.recordset.users) || []) {
            if (pending.addressed.has(u)) pending.answered.add(u);
          }
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
    if (n >= m) setText(text, t("cmd.progress.done", { n, m }));
    else if (p.over) setText(text, t("cmd.progress.timeout", { n, m }));
    else setText(text, t("cmd.progress", { n, m }));
  }

  // Who has not answered the last command: while it waits, and as "did not
  // answer" once the wait is over, with a button that sends it again to them.
  function missingIds() {
    const p = state.pending;
    return p ? [...p.addressed].filter((id) => !p.answered.has(id)).sort((a, b) => a - b) : [];
  }

  function renderMissing() {
    const p = state.pending;
    const ids = missingIds();
    const box = $("missing");
    box.hidden = !p || ids.length === 0;
    if (box.hidden) return;
    box.classList.toggle("over", p.over);
    setText($("missing-title"), t(p.over ? "cmd.missing" : "cmd.missing.wait", { n: ids.length }));
    setText($("missing-list"), ids.map((id) => {
      const s = state.byId.get(id);
      return s && s.name ? s.name + " (#" + id + ")" : "#" + id;
    }).join(", "));
    $("missing-resend").hidden = !p.over;
  }

  function resendToMissing() {
    const p = state.pending;
    const ids = missingIds();
    if (p && ids.length) sendCommand(p.action, p.moreParams, ids);
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
    s.title = error ? errorText(error) : "";
  }

  // What the page otherwise loads once; again each time ludarium answers
  // after it did not (it may have been restarted with other files).
  function loadAll() {
    loadOnce(refreshServers, $("course-message"));
    loadOnce(loadLogins, $("course-message"));
    loadOnce(loadGroups, $("course-message"));
    loadOnce(refreshCards, $("net-message"));
    if ($("web-pages").open) loadOnce(refreshWebPages, $("web-message"));
  }

  async function cycle() {
    try {
      await refreshCourse();
      await refreshRoster();
      const back = serverOk === false;
      setServerState(true);
      if (state.stale) {
        state.stale = 0;
        renderRoster();
      }
      if (back) loadAll();
      await pingTeacher();
      if ($("web-pages").open) await refreshWebPages();
    } catch (e) {
      setServerState(false, e);
      // The tiles stay, marked as the last known roster, not as who is
      // online now.
      if (!state.stale) state.stale = Date.now();
      showError($("roster-message"), e);
      renderRoster();
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
      groupLabels.clear();
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
      loadOnce(loadLogins, $("course-message"));
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
    $("confirm-yes").addEventListener("click", () => answerAsk(true));
    $("confirm-no").addEventListener("click", () => answerAsk(false));
    $("confirm").addEventListener("keydown", (event) => { if (event.key === "Escape") answerAsk(false); });
    for (const r of document.querySelectorAll("input[name=target]")) r.addEventListener("change", renderTarget);
    $("target-group").addEventListener("change", () => {
      document.querySelector("input[name=target][value=group]").checked = true;
      renderTarget();
    });
    $("missing-resend").addEventListener("click", resendToMissing);
    $("choose-all").addEventListener("click", chooseAll);
    $("choose-none").addEventListener("click", chooseNone);
    $("choose-invert").addEventListener("click", invertChoice);
    $("roster-filter").addEventListener("input", renderRoster);
    $("roster-sort").addEventListener("change", renderRoster);
    $("tiles").addEventListener("keydown", onTilesKey);
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
    cycle();
    loadAll();
  }

  start();
})();
