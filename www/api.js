// Calls to ludarium's local API from the page. Every call is a POST of a
// form body (the server reads its parameters from the body when there is no
// query string) and every answer is the server's JSON envelope:
// {"status":1,"msg":"ok",<data>} or {"status":0,"msg":<why>}. A call either
// resolves to the envelope or rejects with an ApiError whose text the page
// shows as it is.
//
// The server writes every byte outside printable ASCII as its own \u00XX
// escape, so a UTF-8 name arrives as one character per byte; fixTexts turns
// such strings back into the text they encode.
"use strict";

class ApiError extends Error {
  // kind: "unreachable", "refused", "reply", "badreply" or "http".
  constructor(kind, detail) {
    super(detail);
    this.kind = kind;
    this.detail = detail;
  }

  text() {
    return I18n.t("err." + this.kind, { detail: this.detail });
  }
}

const LudApi = (() => {
  const utf8 = new TextDecoder("utf-8", { fatal: true });
  let gbk = null;
  try {
    gbk = new TextDecoder("gbk");
  } catch (e) {
    gbk = null;
  }

  // A string of byte-sized characters as the text its bytes encode: UTF-8
  // when they are valid UTF-8, else GBK (a Chinese Windows tablet may send
  // it), else left as it is.
  function decodeBytes(s) {
    if (!/[\u0080-\u00ff]/.test(s) || /[^\u0000-\u00ff]/.test(s)) return s;
    const bytes = Uint8Array.from(s, (c) => c.charCodeAt(0));
    try {
      return utf8.decode(bytes);
    } catch (e) {
      return gbk ? gbk.decode(bytes) : s;
    }
  }

  function fixTexts(value) {
    if (typeof value === "string") return decodeBytes(value);
    if (Array.isArray(value)) return value.map(fixTexts);
    if (value && typeof value === "object") {
      const out = {};
      for (const k of Object.keys(value)) out[k] = fixTexts(value[k]);
      return out;
    }
    return value;
  }

  // Course names are kept URL-encoded (%xx of their bytes) and may have been
  // cut inside a character; what cannot be decoded is dropped, not shown as
  // garbage.
  function decodeName(s) {
    if (typeof s !== "string" || s.indexOf("%") < 0) return s || "";
    const bytes = [];
    for (let i = 0; i < s.length; ++i) {
      const c = s.charCodeAt(i);
      if (c === 0x25 && /^[0-9a-fA-F]{2}$/.test(s.substr(i + 1, 2))) {
        bytes.push(parseInt(s.substr(i + 1, 2), 16));
        i += 2;
      } else if (c === 0x25) {
        break;  // an escape cut short at the end
      } else {
        bytes.push(c & 0xff);
      }
    }
    return new TextDecoder("utf-8").decode(new Uint8Array(bytes)).replace(/\uFFFD+$/, "");
  }

  function formBody(params) {
    return Object.keys(params || {})
      .map((k) => {
        const v = params[k];
        return k + "=" + encodeURIComponent(typeof v === "string" ? v : JSON.stringify(v));
      })
      .join("&");
  }

  // POSTs params (values that are not strings are sent as JSON) to path and
  // returns the parsed envelope of a success.
  async function call(path, params) {
    let response;
    try {
      response = await fetch(path, {
        method: "POST",
        headers: { "Content-Type": "application/x-www-form-urlencoded" },
        body: formBody(params),
        cache: "no-store",
      });
    } catch (e) {
      throw new ApiError("unreachable", e.message || String(e));
    }
    if (!response.ok) throw new ApiError("http", response.status + " " + response.statusText);
    const text = await response.text();
    let envelope;
    try {
      envelope = JSON.parse(text);
    } catch (e) {
      throw new ApiError("badreply", text.slice(0, 120) || "(empty)");
    }
    if (!envelope || typeof envelope !== "object") throw new ApiError("badreply", text.slice(0, 120));
    if (envelope.status !== 1) {
      if (envelope.msg === "no such api") throw new ApiError("refused", envelope.msg);
      throw new ApiError("reply", decodeBytes(String(envelope.msg)));
    }
    return fixTexts(envelope);
  }

  return { call, decodeName, decodeBytes, fixTexts };
})();
