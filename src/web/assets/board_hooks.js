// What other parts of the page add to each row of the board (the front
// desk's controls), without the board knowing them: each hook gets the row's
// element and its entry after the row is made.

const rowHooks = new Set();

// Adds `hook(element, row)`; returns its removal.
export function addRowHook(hook) {
  rowHooks.add(hook);
  return () => rowHooks.delete(hook);
}

export function decorateRow(element, row) {
  for (const hook of rowHooks) hook(element, row);
  return element;
}
