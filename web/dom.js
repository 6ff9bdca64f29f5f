// The page's small helpers for the document: an element by id, a new
// element with its attributes and children, and a text or bytes saved as a
// file.

export const $ = (id) => document.getElementById(id);

// el('button', {type: 'button', text: 'Stop'}, child, ...): "text" sets the
// text; every other property is an attribute.
export function el(tag, props = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'text') e.textContent = v;
    else e.setAttribute(k, v);
  }
  e.append(...children);
  return e;
}

export function save(name, content, type) {
  const url = URL.createObjectURL(new Blob([content], { type }));
  const a = el('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}
