// The page's own settings (play on change), remembered in the browser's local storage once the
// user changes them. Values are data: only the words this page writes are taken back.
const prefix = 'bleepforge.setting.';

export function loadSetting(name, fallback) {
  try {
    const value = window.localStorage.getItem(prefix + name);
    return value === null ? fallback : value;
  } catch {
    return fallback;  // storage switched off
  }
}

export function saveSetting(name, value) {
  try {
    window.localStorage.setItem(prefix + name, value);
  } catch {
    // full or refused: the setting lasts for the page
  }
}
