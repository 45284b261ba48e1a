// One auto-fill click, run in the top-level document of the page in a script world of
// its own. The program appends the call with its three arguments: the request (the
// user and password keywords in their order, whether the scan may follow, the page's
// protocol, host name and port as the program checked them, and a deadline) as a JSON
// object, and the user ID and the password, each as its UTF-8 bytes; all three
// base64-encoded. So no text of the entry ever becomes script.
//
// First the keyword walks: for each user keyword in turn, every INPUT of a form whose
// name holds it receives the user ID, until a keyword writes something; then the same
// for the password. Only when they write nothing at all, and the request allows it, the
// scan: the login boxes a person can see and type into, in the document and in its
// frames on the same site.
//
// Answers { formElements, user, password, pass } (pass 1: the walks wrote, 2: the scan
// did, 3: the scan wrote the user ID alone on a page without a password box, 0:
// nothing was written); { late } when the deadline passed before the click was
// done, in which case everything it wrote has been put back; { otherPage } when the
// document is no longer on the protocol, host and port checked; { failure: <text> }
// when the document or its forms cannot be reached (what was written stays). A failure
// while examining or writing one control ends the walk for that keyword only.
(function (encoded, encodedUser, encodedPassword) {
  "use strict";
  const valueSetter = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, "value").set;
  const valueGetter = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, "value").get;
  // Every control written in this click with the value it had, so that a click that
  // runs out of time leaves the page as it found it.
  const written = [];
  const putBack = () => {
    for (let i = written.length - 1; i >= 0; i--) {
      try {
        valueSetter.call(written[i][0], written[i][1]);
      } catch (e) {}
    }
  };
  const late = {};
  try {
    const decode = (base64) =>
      new TextDecoder("utf-8").decode(Uint8Array.from(atob(base64), (c) => c.charCodeAt(0)));
    const request = JSON.parse(decode(encoded));
    // The program stops waiting at the deadline and reports the page as not answering;
    // a click that gets to run, or is still running, after that writes nothing.
    const checkTime = () => {
      if (Date.now() > request.deadline) throw late;
    };
    checkTime();
    // The page, or a frame, may have moved on since the program checked its site.
    const defaultPort = (protocol) => ({ "http:": 80, "https:": 443 })[protocol] || -1;
    const onCheckedSite = (where) =>
      where.protocol === request.protocol &&
      where.hostname === request.hostname &&
      (where.port === "" ? defaultPort(where.protocol) : Number(where.port)) ===
        (request.port < 0 ? defaultPort(request.protocol) : request.port);
    if (!onCheckedSite(location)) return { otherPage: true };

    const user = decode(encodedUser);
    const password = decode(encodedPassword);
    const write = (control, value) => {
      const before = valueGetter.call(control);
      control.value = value;
      written.push([control, before]);
    };

    // Only the letters a to z change; every other character stays as it is.
    const upperAscii = (text) =>
      String(text).replace(/[a-z]+/g, (run) => run.toUpperCase());

    // A page can name a form or an image "forms", "length" or "elements" and so hide
    // the document's and the form's own properties; ask the prototypes instead.
    const getter = (proto, name) => Object.getOwnPropertyDescriptor(proto, name).get;
    const formsOf = getter(Document.prototype, "forms");
    const formLength = getter(HTMLFormElement.prototype, "length");
    const formElements = getter(HTMLFormElement.prototype, "elements");
    const byTagName = Document.prototype.getElementsByTagName;
    const itemOf = HTMLCollection.prototype.item;

    const formElementCount = byTagName.call(document, "FORM").length;

    // One keyword: every INPUT of every form whose name holds it receives the value.
    const walk = (rawKeyword, value) => {
      if (formElementCount === 0) return false;
      const keyword = upperAscii(rawKeyword);
      let wrote = false;
      const formCount = formsOf.call(document).length;
      for (let i = 0; i < formCount; i++) {
        const form = itemOf.call(formsOf.call(document), i);
        const controlCount = formLength.call(form);
        const control = (j) => itemOf.call(formElements.call(form), j);
        for (let j = 0; j < controlCount; j++) {
          checkTime();
          try {
            if (upperAscii(control(j).tagName) !== "INPUT") continue;
            const name = control(j).name;
            if (!upperAscii(name == null ? "" : name).includes(keyword)) continue;
            write(control(j), value);
            wrote = true;
          } catch (e) {
            return wrote;
          }
        }
      }
      return wrote;
    };
    const walkKeywords = (keywords, value) => keywords.some((keyword) => walk(keyword, value));
    const userByKeyword = walkKeywords(request.userKeywords, user);
    const passwordByKeyword = walkKeywords(request.passwordKeywords, password);
    const answer = { formElements: formElementCount, user: userByKeyword, password: passwordByKeyword, pass: 0 };
    if (userByKeyword || passwordByKeyword) {
      answer.pass = 1;
    } else if (request.scan) {
      const found = scan();
      checkTime();
      if (found.user) fill(found.user, user);
      if (found.password) fill(found.password, password);
      if (found.password) answer.pass = 2;
      else if (found.user) answer.pass = 3;
      answer.user = !!found.user;
      answer.password = !!found.password;
    }
    return answer;

    // The scan's writing: the value, then the events a page's own script listens for.
    function fill(control, value) {
      write(control, value);
      control.dispatchEvent(new Event("input", { bubbles: true }));
      control.dispatchEvent(new Event("change", { bubbles: true }));
    }

    // The element a box is drawn inside, across the edge of a shadow tree.
    function parentOf(element) {
      return element.parentElement || (element.parentNode && element.parentNode.host) || null;
    }

    // A number of CSS pixels from a computed length, a percentage taken of whole.
    function length(text, whole) {
      const value = parseFloat(text);
      if (Number.isNaN(value)) return null;
      return /%$/.test(text) ? (value * whole) / 100 : value;
    }

    // The part of the border box b that a computed clip-path lets through, in the same
    // coordinates; null where the shape is not one of the basic shapes (nothing cut).
    function clipPathBox(b, clipPath) {
      const shape = /^(inset|circle|ellipse|polygon)\((.*)\)/.exec(clipPath.trim());
      if (!shape) return null;
      const w = b.right - b.left, h = b.bottom - b.top;
      const [what, inner] = [shape[1], shape[2]];
      if (what === "polygon") {
        const points = inner.replace(/^\s*(nonzero|evenodd)\s*,/, "").split(",")
          .map((p) => p.trim().split(/\s+/)).map(([x, y]) => [length(x, w), length(y, h)]);
        if (points.some(([x, y]) => x === null || y === null)) return null;
        const xs = points.map((p) => p[0]), ys = points.map((p) => p[1]);
        return { left: b.left + Math.min(...xs), right: b.left + Math.max(...xs),
                 top: b.top + Math.min(...ys), bottom: b.top + Math.max(...ys) };
      }
      const [size, position] = inner.split(/\s+at\s+/);
      if (what === "inset") {
        const v = size.split(/\s+round\s+/)[0].trim().split(/\s+/);
        const [t, r, bo, l] = [v[0], v[1] || v[0], v[2] || v[0], v[3] || v[1] || v[0]];
        const edges = [length(t, h), length(r, w), length(bo, h), length(l, w)];
        if (edges.includes(null)) return null;
        return { left: b.left + edges[3], right: b.right - edges[1], top: b.top + edges[0], bottom: b.bottom - edges[2] };
      }
      const at = (position || "50% 50%").trim().split(/\s+/);
      const cx = length(at[0], w), cy = length(at[1] || "50%", h);
      const radii = (size || "").trim().split(/\s+/);
      const rx = length(radii[0] || "", what === "circle" ? Math.hypot(w, h) / Math.SQRT2 : w);
      const ry = what === "circle" ? rx : length(radii[1] || "", h);
      if ([cx, cy, rx, ry].includes(null)) return null;
      return { left: b.left + cx - rx, right: b.left + cx + rx, top: b.top + cy - ry, bottom: b.top + cy + ry };
    }

    // The rectangle of the control as drawn, in its view's coordinates, after the
    // clip, clip-path and overflow of itself and of the boxes it is drawn inside.
    // A box placed absolutely or fixed escapes the overflow of the boxes between it
    // and the one it is placed against.
    function drawnRect(control, view) {
      const doc = control.ownerDocument;
      const own = control.getBoundingClientRect();
      const r = { left: own.left, top: own.top, right: own.right, bottom: own.bottom };
      const cut = (c) => {
        if (!c) return;
        r.left = Math.max(r.left, c.left);
        r.top = Math.max(r.top, c.top);
        r.right = Math.min(r.right, c.right);
        r.bottom = Math.min(r.bottom, c.bottom);
      };
      let placed = "static";
      for (let e = control; e && e !== doc.documentElement; e = parentOf(e)) {
        const style = view.getComputedStyle(e);
        const b = e.getBoundingClientRect();
        const containing = e === control || placed === "static" || placed === "relative" || placed === "sticky" ||
          (placed === "absolute" && style.position !== "static") || style.transform !== "none";
        if (style.clipPath && style.clipPath !== "none") cut(clipPathBox(b, style.clipPath));
        const clip = /^rect\((.*)\)$/.exec(style.clip || "");
        if (clip && (style.position === "absolute" || style.position === "fixed")) {
          const [t, right, bottom, l] = clip[1].split(/[\s,]+/).map((v) => (v === "auto" ? null : parseFloat(v)));
          cut({ left: b.left + (l ?? 0), top: b.top + (t ?? 0),
                right: right === null ? b.right : b.left + right, bottom: bottom === null ? b.bottom : b.top + bottom });
        }
        if (e !== control && containing && e !== doc.body) {
          const inside = { left: b.left + e.clientLeft, top: b.top + e.clientTop };
          cut({ left: style.overflowX === "visible" ? -Infinity : inside.left,
                right: style.overflowX === "visible" ? Infinity : inside.left + e.clientWidth,
                top: style.overflowY === "visible" ? -Infinity : inside.top,
                bottom: style.overflowY === "visible" ? Infinity : inside.top + e.clientHeight });
        }
        if (containing) placed = style.position;
      }
      return r;
    }

    // Whether the element and every box it is drawn inside are shown: displayed, not
    // hidden, not (nearly) transparent, their content not skipped.
    function shown(element, view) {
      if (view.getComputedStyle(element).visibility !== "visible") return false;
      for (let e = element; e; e = parentOf(e)) {
        const style = view.getComputedStyle(e);
        if (style.display === "none" || Number(style.opacity) <= 0.1 || e.hasAttribute("hidden")) return false;
        if (e !== element && style.contentVisibility === "hidden") return false;
      }
      return element.getClientRects().length > 0;
    }

    // How far a person sees the element in its document: 0 not at all, 1 after
    // scrolling the page up or down, 2 as the page is now. Its drawn rectangle must be
    // at least 4x4 and inside the page; where it is in view, the point at its centre
    // must hit it or its label, not something drawn over it. A box off to the side
    // of the view does not count: that is where pages hide the boxes meant for robots.
    function sight(element, view) {
      if (!shown(element, view)) return 0;
      const r = drawnRect(element, view);
      if (r.right - r.left < 4 || r.bottom - r.top < 4) return 0;
      const root = element.ownerDocument.documentElement;
      const rootStyle = view.getComputedStyle(root), bodyStyle = element.ownerDocument.body ?
        view.getComputedStyle(element.ownerDocument.body) : rootStyle;
      const scrolls = ![rootStyle.overflowY, bodyStyle.overflowY].some((o) => o === "hidden" || o === "clip");
      const width = view.innerWidth, height = view.innerHeight;
      if (r.right <= 0 || r.left >= width) return 0;
      if (r.bottom + view.scrollY <= 0 || r.top + view.scrollY >= root.scrollHeight) return 0;
      if (r.bottom <= 0 || r.top >= height) return scrolls ? 1 : 0;
      const x = (Math.max(r.left, 0) + Math.min(r.right, width)) / 2;
      const y = (Math.max(r.top, 0) + Math.min(r.bottom, height)) / 2;
      const hit = element.ownerDocument.elementFromPoint(x, y);
      if (!hit) return 0;
      if (hit === element) return 2;
      const label = hit.closest("label");
      return label && element.labels && Array.from(element.labels).includes(label) ? 2 : 0;
    }

    // Whether a person can type into the control: shown, and neither disabled nor
    // read-only; its inner area, where the text goes, at least 4x4 as well.
    function usable(control, view) {
      if (control.type === "hidden" || control.matches(":disabled") || control.readOnly) return 0;
      const style = view.getComputedStyle(control);
      const inner = (size, a, b) => size - parseFloat(style[a]) - parseFloat(style[b]);
      if (inner(control.clientWidth, "paddingLeft", "paddingRight") < 4 ||
          inner(control.clientHeight, "paddingTop", "paddingBottom") < 4)
        return 0;
      return sight(control, view);
    }

    // The top-level document and the documents of its frames that are on the site
    // checked and shown, frames inside frames included, in document order, each with
    // how far its frame is seen.
    function documents() {
      const found = [];
      const visit = (doc, view, seen) => {
        found.push({ doc, view, seen });
        for (const frame of doc.querySelectorAll("iframe, frame")) {
          let inner = null;
          try {
            inner = frame.contentDocument;
          } catch (e) {}
          const frameSeen = inner && inner.defaultView && onCheckedSite(inner.location) ? sight(frame, view) : 0;
          if (frameSeen > 0) visit(inner, inner.defaultView, Math.min(seen, frameSeen));
        }
      };
      visit(document, window, 2);
      return found;
    }

    // Words that say a text box takes a user ID: English always, and those of the
    // page's language where its lang attribute names one of these. Compared with
    // letter case, spaces, hyphens and underscores set aside.
    function saysUser(control) {
      const userWords = {
        en: ["user", "login", "email", "account", "identifier"],
        de: ["nutzer", "anmeldename", "konto", "kennung"],
        fr: ["utilisateur", "identifiant", "courriel", "compte"],
        es: ["usuario", "correo", "cuenta", "identificador"],
        it: ["utente", "identificativo"],
        pt: ["usuário", "usuario", "utilizador"],
        nl: ["gebruiker", "inlognaam"],
        ru: ["пользовател", "логин", "почт", "учетн", "учётн"],
      };
      const owner = control.closest("[lang]");
      const language = (owner ? owner.getAttribute("lang") : "").toLowerCase().split("-")[0];
      const words = userWords.en.concat(language !== "en" && userWords[language] ? userWords[language] : []);
      const texts = [control.name, control.id, control.placeholder, control.getAttribute("aria-label") || ""];
      for (const label of control.labels || []) texts.push(label.textContent);
      const said = texts.join("\n").toLowerCase().replace(/[\s_-]+/g, "");
      return words.some((word) => said.includes(word));
    }

    // The login boxes as a browser's password manager finds them, among the boxes a
    // person can see and type into: the password box is a password input not marked
    // as a new password (one in view before one to scroll to; its current-password box
    // first, on a page that marks one; then the first in document order). The user box
    // is looked for in the nearest container it shares with the password box first
    // (its form counts as one): a box marked as a user name or e-mail address, or of
    // type email, before the password box, else one after it, else the nearest text
    // input before the password box. Without a password box, the first step of a
    // sign-in in two steps: the one box marked as the user name or e-mail address or of
    // type email (never one of two or more), or the page's only text box where its
    // name, id, label or placeholder asks for a user ID.
    function scan() {
      const tokens = (control) => String(control.getAttribute("autocomplete") || "").toLowerCase().split(/\s+/);
      const inputs = [];
      for (const { doc, view, seen } of documents()) {
        for (const control of doc.getElementsByTagName("input")) {
          checkTime();
          if (!["password", "text", "email", "tel"].includes(control.type)) continue;
          const sees = Math.min(seen, usable(control, view));
          if (sees > 0) inputs.push({ control, doc, sees });
        }
      }
      const passwords = inputs.filter((i) => i.control.type === "password" && !tokens(i.control).includes("new-password"));
      const inView = passwords.some((i) => i.sees === 2) ? passwords.filter((i) => i.sees === 2) : passwords;
      const pass = inView.find((i) => tokens(i.control).includes("current-password")) || inView[0];
      const marked = (i) =>
        i.control.type === "email" || tokens(i.control).some((t) => t === "username" || t === "email");
      const others = inputs.filter((i) => i.control.type !== "password");
      if (!pass) {
        const lone = others.length === 1 && others[0].control.type === "text" && saysUser(others[0].control);
        const firstStep = lone ? others : others.filter(marked);
        return { user: firstStep.length === 1 ? firstStep[0].control : null, password: null };
      }
      const before = (i) =>
        i.doc === pass.doc && (i.control.compareDocumentPosition(pass.control) & Node.DOCUMENT_POSITION_FOLLOWING) !== 0;
      // How deep the nearest container shared with the password box lies; -1 in
      // another document.
      const depth = (e) => {
        let d = 0;
        for (; e; e = parentOf(e)) d++;
        return d;
      };
      const nearness = (i) => {
        if (i.doc !== pass.doc) return -1;
        let shared = i.control;
        while (shared && !shared.contains(pass.control)) shared = parentOf(shared);
        const form = i.control.form && i.control.form === pass.control.form ? depth(i.control.form) : 0;
        return Math.max(depth(shared), form);
      };
      const levels = [...new Set(others.map(nearness))].sort((a, b) => b - a);
      for (const level of levels) {
        const group = others.filter((i) => nearness(i) === level);
        const userBox = group.filter((i) => marked(i) && before(i)).pop() || group.find(marked) ||
          group.filter((i) => i.control.type === "text" && before(i)).pop();
        if (userBox) return { user: userBox.control, password: pass.control };
      }
      return { user: null, password: pass.control };
    }
  } catch (e) {
    if (e === late) {
      putBack();
      return { late: true };
    }
    return { failure: String(e) };
  }
})
