// The console's labels in English and simplified Chinese. Static labels are
// the elements with data-i18n (text) or data-i18n-title (tooltip); texts made
// at run time go through t(key, values). The choice is kept in localStorage.
"use strict";

const I18n = (() => {
  const texts = {
    en: {
      "title": "Ludarium teacher's console",
      "lang.switch": "中文",
      "server.ok": "Connected to ludarium",
      "server.down": "No answer from ludarium",
      "remote.banner": "This page was opened from another computer. ludarium answers the console's calls only on the teacher's PC: open http://127.0.0.1:{port}/www/ there.",

      "course.title": "Course",
      "course.none": "No course is published: the tablets cannot find the class yet.",
      "course.class": "Class",
      "course.teacher": "Teacher",
      "course.grade": "Grade",
      "course.subject": "Subject",
      "course.server": "API server",
      "course.running": "Class running",
      "course.id": "id",
      "course.name": "name",
      "course.publish": "Publish course",
      "course.published": "Course published.",
      "course.more": "Groups, API servers, saved logins",
      "course.groups": "Groups",
      "course.groups.hint": "One group a line: number, then a name (e.g. 2 Blue team). Kept on this PC.",
      "course.groups.save": "Save groups",
      "course.groups.saved": "Groups saved.",
      "course.servers.title": "API servers",
      "course.servers.recommended": "Recommended",
      "course.servers.none": "none",
      "course.servers.chosen": "Chosen",
      "course.servers.add": "Add",
      "course.servers.select": "Select",
      "course.servers.delete": "Delete",
      "course.servers.school": "school id",
      "course.servers.address": "address",
      "course.servers.describe": "description",
      "course.servers.recommend": "recommend",
      "course.servers.done": "Done.",
      "course.logins.title": "Saved logins",
      "course.logins.none": "none",
      "yes": "yes",
      "no": "no",

      "roster.title": "Students online",
      "roster.nobody": "Nobody yet. Tablets appear here as soon as they join the class.",
      "roster.nocourse": "Publish a course first; the roster shows the students of its class.",
      "roster.count": "{n} online",
      "roster.group": "Group {g}",
      "roster.nogroup": "no group",
      "roster.selected": "{n} chosen",
      "roster.clear": "Clear choice",
      "roster.online": "online {t}",
      "roster.answered": "answered",
      "roster.waiting": "waiting",

      "cmd.title": "Commands",
      "cmd.to": "Send to",
      "cmd.to.class": "whole class",
      "cmd.to.group": "group",
      "cmd.to.users": "chosen tiles",
      "cmd.lock": "Lock screens",
      "cmd.unlock": "Unlock screens",
      "cmd.start": "Start class",
      "cmd.end": "End class",
      "cmd.free": "Send",
      "cmd.free.action": "action",
      "cmd.free.params": "more params (JSON object, optional)",
      "cmd.progress": "answered {n} of {m}",
      "cmd.progress.done": "All answered: {n} of {m}",
      "cmd.progress.timeout": "Stopped waiting after 30 s: answered {n} of {m}",
      "cmd.sent": "Sent \"{action}\" (id {id}) to {to}.",
      "cmd.to.desc.class": "the class",
      "cmd.to.desc.users": "{n} chosen students",
      "cmd.err.nocourse": "Publish a course before sending commands.",
      "cmd.err.nogroup": "Choose a group.",
      "cmd.err.nousers": "Choose one or more tiles first.",
      "cmd.err.noaction": "Type an action.",
      "cmd.err.params": "The extra params are not a JSON object.",

      "screen.title": "Teacher's screen",
      "screen.capture": "Capture",
      "screen.window": "window in front only",
      "screen.none": "No picture yet.",

      "net.title": "Network",
      "net.refresh": "Refresh",
      "net.use": "Use",
      "net.current": "in use",
      "net.none": "No working network adapter.",
      "net.noaddress": "(no adapter address)",
      "net.broadcast.on": "Course broadcast: on, tablets connect to {ip}:{port}",
      "net.broadcast.off": "Course broadcast: off (no course published)",
      "net.name": "Adapter",
      "net.ip": "IP address",
      "net.mask": "Mask",
      "net.gateway": "Gateway",
      "net.mac": "MAC",
      "web.title": "Web pages allowed to use this classroom",
      "web.hint": "Besides this console, only the web pages listed here may use this classroom from the teacher's browser (for example the school platform's page). Other pages are refused and shown below.",
      "web.origin": "Web page address",
      "web.add": "Allow",
      "web.remove": "Remove",
      "web.none": "No web page is allowed besides this console.",
      "web.refused": "Refused recently",
      "web.norefused": "No web page was refused.",
      "web.page": "Web page",
      "web.uri": "Asked for",
      "web.when": "Last time",
      "web.count": "Times",
      "web.added": "{origin} may now use this classroom.",
      "web.removed": "{origin} may no longer use this classroom.",

      "err.unreachable": "Cannot reach ludarium ({detail}). Is it running?",
      "err.refused": "ludarium refused the call: the console works only on the teacher's PC (127.0.0.1).",
      "err.reply": "ludarium answered: {detail}",
      "err.badreply": "ludarium sent an answer the console cannot read: {detail}",
      "err.http": "HTTP error {detail}",
      "err.number": "\"{field}\" must be a whole number.",
    },
    zh: {
      "title": "Ludarium 教师控制台",
      "lang.switch": "English",
      "server.ok": "已连接 ludarium",
      "server.down": "ludarium 无响应",
      "remote.banner": "此页面是从另一台电脑打开的。ludarium 只在教师电脑上响应控制台的请求：请在那里打开 http://127.0.0.1:{port}/www/。",

      "course.title": "课程",
      "course.none": "尚未发布课程：平板还找不到班级。",
      "course.class": "班级",
      "course.teacher": "教师",
      "course.grade": "年级",
      "course.subject": "科目",
      "course.server": "API 服务器",
      "course.running": "正在上课",
      "course.id": "编号",
      "course.name": "名称",
      "course.publish": "发布课程",
      "course.published": "课程已发布。",
      "course.more": "小组、API 服务器、已保存的登录",
      "course.groups": "小组",
      "course.groups.hint": "每行一个小组：编号，然后名称（例如 2 蓝队）。保存在本机。",
      "course.groups.save": "保存小组",
      "course.groups.saved": "小组已保存。",
      "course.servers.title": "API 服务器",
      "course.servers.recommended": "推荐",
      "course.servers.none": "无",
      "course.servers.chosen": "已选",
      "course.servers.add": "添加",
      "course.servers.select": "选用",
      "course.servers.delete": "删除",
      "course.servers.school": "学校编号",
      "course.servers.address": "地址",
      "course.servers.describe": "说明",
      "course.servers.recommend": "推荐",
      "course.servers.done": "完成。",
      "course.logins.title": "已保存的登录",
      "course.logins.none": "无",
      "yes": "是",
      "no": "否",

      "roster.title": "在线学生",
      "roster.nobody": "还没有人。平板加入班级后会立即显示在这里。",
      "roster.nocourse": "请先发布课程；名单显示该班级的学生。",
      "roster.count": "{n} 人在线",
      "roster.group": "第 {g} 组",
      "roster.nogroup": "未分组",
      "roster.selected": "已选 {n} 人",
      "roster.clear": "取消选择",
      "roster.online": "在线 {t}",
      "roster.answered": "已响应",
      "roster.waiting": "等待中",

      "cmd.title": "指令",
      "cmd.to": "发送给",
      "cmd.to.class": "全班",
      "cmd.to.group": "小组",
      "cmd.to.users": "选中的学生",
      "cmd.lock": "锁定屏幕",
      "cmd.unlock": "解锁屏幕",
      "cmd.start": "开始上课",
      "cmd.end": "下课",
      "cmd.free": "发送",
      "cmd.free.action": "动作",
      "cmd.free.params": "其他参数（JSON 对象，可选）",
      "cmd.progress": "已响应 {n} / {m}",
      "cmd.progress.done": "全部已响应：{n} / {m}",
      "cmd.progress.timeout": "30 秒后停止等待：已响应 {n} / {m}",
      "cmd.sent": "已向{to}发送“{action}”（编号 {id}）。",
      "cmd.to.desc.class": "全班",
      "cmd.to.desc.users": "选中的 {n} 名学生",
      "cmd.err.nocourse": "发送指令前请先发布课程。",
      "cmd.err.nogroup": "请选择一个小组。",
      "cmd.err.nousers": "请先选择一个或多个学生。",
      "cmd.err.noaction": "请输入动作。",
      "cmd.err.params": "其他参数不是 JSON 对象。",

      "screen.title": "教师屏幕",
      "screen.capture": "截屏",
      "screen.window": "仅前台窗口",
      "screen.none": "还没有截图。",

      "net.title": "网络",
      "net.refresh": "刷新",
      "net.use": "使用",
      "net.current": "使用中",
      "net.none": "没有可用的网卡。",
      "net.noaddress": "（无网卡地址）",
      "net.broadcast.on": "课程广播：开启，平板连接到 {ip}:{port}",
      "net.broadcast.off": "课程广播：关闭（未发布课程）",
      "net.name": "网卡",
      "net.ip": "IP 地址",
      "net.mask": "子网掩码",
      "net.gateway": "网关",
      "net.mac": "MAC",
      "web.title": "允许使用本课堂的网页",
      "web.hint": "除本控制台外，只有这里列出的网页（例如学校平台的页面）可以在教师浏览器中使用本课堂。其他网页会被拒绝，并显示在下面。",
      "web.origin": "网页地址",
      "web.add": "允许",
      "web.remove": "移除",
      "web.none": "除本控制台外，没有允许的网页。",
      "web.refused": "最近被拒绝",
      "web.norefused": "没有网页被拒绝。",
      "web.page": "网页",
      "web.uri": "请求",
      "web.when": "最近一次",
      "web.count": "次数",
      "web.added": "{origin} 现在可以使用本课堂。",
      "web.removed": "{origin} 不再可以使用本课堂。",

      "err.unreachable": "无法连接 ludarium（{detail}）。它在运行吗？",
      "err.refused": "ludarium 拒绝了请求：控制台只能在教师电脑（127.0.0.1）上使用。",
      "err.reply": "ludarium 回答：{detail}",
      "err.badreply": "ludarium 的回答无法读取：{detail}",
      "err.http": "HTTP 错误 {detail}",
      "err.number": "“{field}”必须是整数。",
    },
  };

  let lang = "en";
  try {
    if (localStorage.getItem("ludarium.lang") === "zh") lang = "zh";
  } catch (e) {
    // Storage may be off; English then.
  }
  const listeners = [];

  function t(key, values) {
    const text = texts[lang][key] !== undefined ? texts[lang][key] : texts.en[key];
    if (text === undefined) return key;
    return text.replace(/\{(\w+)\}/g, (m, name) =>
      values && values[name] !== undefined ? String(values[name]) : m);
  }

  function apply(root) {
    document.documentElement.lang = lang === "zh" ? "zh-CN" : "en";
    document.title = t("title");
    for (const el of (root || document).querySelectorAll("[data-i18n]")) {
      el.textContent = t(el.dataset.i18n);
    }
    for (const el of (root || document).querySelectorAll("[data-i18n-placeholder]")) {
      el.placeholder = t(el.dataset.i18nPlaceholder);
    }
  }

  function setLanguage(next) {
    lang = next === "zh" ? "zh" : "en";
    try {
      localStorage.setItem("ludarium.lang", lang);
    } catch (e) {
      // Not kept; the switch still works for this page.
    }
    apply();
    for (const f of listeners) f(lang);
  }

  return {
    t,
    apply,
    setLanguage,
    language: () => lang,
    onChange: (f) => listeners.push(f),
  };
})();
