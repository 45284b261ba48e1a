// One auto-fill walk for one keyword, run in the top-level document of the page in a
// script world of its own. The program appends the call with its two arguments: the
// keyword, the page's protocol and host name as the program checked them, and a
// deadline as a JSON object, UTF-8, base64-encoded; and the value as its UTF-8 bytes,
// base64-encoded. So no text of the entry ever becomes script.
//
// Answers { formElements, written }; { late } when it only ran after the deadline;
// { otherPage } when the document is no longer on the protocol and host checked;
// { failure: <text> } when the document or its forms cannot be reached. A failure
// while examining or writing one control ends the walk for this keyword and keeps
// what was written so far ({ formElements, written, stopped }).
(function (encoded, encodedValue) {
  "use strict";
  try {
    const decode = (base64) =>
      new TextDecoder("utf-8").decode(Uint8Array.from(atob(base64), (c) => c.charCodeAt(0)));
    const request = JSON.parse(decode(encoded));
    // The program stops waiting at the deadline and reports the page as not answering;
    // a walk that only gets to run after that must write nothing.
    if (Date.now() > request.deadline) return { late: true };
    // The page may have moved on since the program checked its site.
    if (location.protocol !== request.protocol || location.hostname !== request.hostname)
      return { otherPage: true };

    // Only the letters a to z change; every other character stays as it is.
    const upperAscii = (text) =>
      String(text).replace(/[a-z]+/g, (run) => run.toUpperCase());
    const keyword = upperAscii(request.keyword);
    const value = decode(encodedValue);

    // A page can name a form or an image "forms", "length" or "elements" and so hide
    // the document's and the form's own properties; ask the prototypes instead.
    const getter = (proto, name) => Object.getOwnPropertyDescriptor(proto, name).get;
    const formsOf = getter(Document.prototype, "forms");
    const formLength = getter(HTMLFormElement.prototype, "length");
    const formElements = getter(HTMLFormElement.prototype, "elements");
    const byTagName = Document.prototype.getElementsByTagName;
    const itemOf = HTMLCollection.prototype.item;

    const formElementCount = byTagName.call(document, "FORM").length;
    if (formElementCount === 0) return { formElements: 0, written: false };

    let written = false;
    const formCount = formsOf.call(document).length;
    for (let i = 0; i < formCount; i++) {
      const form = itemOf.call(formsOf.call(document), i);
      const controlCount = formLength.call(form);
      const control = (j) => itemOf.call(formElements.call(form), j);
      for (let j = 0; j < controlCount; j++) {
        try {
          if (upperAscii(control(j).tagName) !== "INPUT") continue;
          const name = control(j).name;
          if (!upperAscii(name == null ? "" : name).includes(keyword)) continue;
          control(j).value = value;
          written = true;
        } catch (e) {
          return { formElements: formElementCount, written: written, stopped: String(e) };
        }
      }
    }
    return { formElements: formElementCount, written: written };
  } catch (e) {
    return { failure: String(e) };
  }
})
