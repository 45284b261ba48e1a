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
// scan: the visible login boxes of the document and of its frames on the same site.
//
// Answers { formElements, user, password, pass } (pass 1: the walks wrote, 2: the scan
// did, 0: nothing was written); { late } when the deadline passed before the click was
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
      if (found.password || found.user) answer.pass = 2;
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

    // Whether a person can see the control: not type=hidden, displayed, not
    // visibility:hidden, of some size, and not placed off the page to the left or top.
    function visible(control, view) {
      if (control.type === "hidden") return false;
      const style = view.getComputedStyle(control);
      if (style.display === "none" || style.visibility !== "visible") return false;
      if (control.getClientRects().length === 0) return false;
      const box = control.getBoundingClientRect();
      if (box.width < 1 || box.height < 1) return false;
      return box.right + view.scrollX > 0 && box.bottom + view.scrollY > 0;
    }

    // The top-level document and the documents of its frames that are on the site
    // checked and shown, frames inside frames included, in document order.
    function documents() {
      const found = [];
      const visit = (doc, view) => {
        found.push({ doc, view });
        for (const frame of doc.querySelectorAll("iframe, frame")) {
          let inner = null;
          try {
            inner = frame.contentDocument;
          } catch (e) {}
          if (inner && inner.defaultView && onCheckedSite(inner.location) && visible(frame, view))
            visit(inner, inner.defaultView);
        }
      };
      visit(document, window);
      return found;
    }

    // The login boxes as a browser's password manager finds them: the password box is
    // a visible password input not marked as a new password (its current-password box
    // first, on a page that marks one); the user box is a visible input marked as a
    // user name or e-mail address, or of type email, else the nearest visible text
    // input before the password box. Without a password box, only a box marked as the
    // user name.
    function scan() {
      const tokens = (control) => String(control.getAttribute("autocomplete") || "").toLowerCase().split(/\s+/);
      // The enabled, visible inputs that could take a user ID or a password.
      const inputs = [];
      for (const { doc, view } of documents()) {
        for (const control of doc.getElementsByTagName("input")) {
          checkTime();
          const candidate = ["password", "text", "email", "tel"].includes(control.type) && !control.disabled;
          if (candidate && visible(control, view)) inputs.push({ control, doc });
        }
      }
      const passwords = inputs.filter((i) => i.control.type === "password" && !tokens(i.control).includes("new-password"));
      const pass = passwords.find((i) => tokens(i.control).includes("current-password")) || passwords[0];
      const named = inputs.filter((i) => i.control.type !== "password" &&
        (i.control.type === "email" || tokens(i.control).some((t) => t === "username" || t === "email")));
      const before = (i) =>
        i.doc === pass.doc && (i.control.compareDocumentPosition(pass.control) & Node.DOCUMENT_POSITION_FOLLOWING) !== 0;
      let userBox = null;
      if (pass) {
        userBox = named.filter(before).pop() || named.find((i) => i.doc === pass.doc) ||
          inputs.filter((i) => i.control.type === "text" && before(i)).pop() || named[0];
      } else {
        // A first step that asks for the user alone: only a box marked as the user name
        // (an e-mail box on its own is as likely a newsletter's).
        userBox = named.find((i) => tokens(i.control).includes("username"));
      }
      return { user: userBox && userBox.control, password: pass && pass.control };
    }
  } catch (e) {
    if (e === late) {
      putBack();
      return { late: true };
    }
    return { failure: String(e) };
  }
})
