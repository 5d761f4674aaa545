// The one store of the page: the current sound and its undo and redo stacks. A preview changes
// the sound while a slider moves; a commit makes the change one step of the history.

const undoLimit = 500;

export function createStore(initial) {
  let committed = initial;
  let current = initial;
  const past = [];
  const future = [];
  const listeners = [];
  const notify = (reason) => listeners.forEach((listener) => listener(current, reason));

  return {
    get sound() {
      return current;
    },
    get canUndo() {
      return past.length > 0;
    },
    get canRedo() {
      return future.length > 0;
    },
    subscribe(listener) {
      listeners.push(listener);
    },
    // Shows a change without making it a step yet (a slider being dragged).
    preview(sound) {
      current = sound;
      notify('preview');
    },
    // Makes the current change, or the given sound, one step that undo takes back.
    commit(sound = current) {
      current = sound;
      if (JSON.stringify(sound) === JSON.stringify(committed)) {
        notify('same');
        return;
      }
      past.push(committed);
      if (past.length > undoLimit) past.shift();
      future.length = 0;
      committed = sound;
      notify('commit');
    },
    undo() {
      if (!past.length) return;
      future.push(committed);
      committed = current = past.pop();
      notify('undo');
    },
    redo() {
      if (!future.length) return;
      past.push(committed);
      committed = current = future.pop();
      notify('redo');
    },
  };
}
