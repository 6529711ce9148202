// The module, carried in the page as base64 (web/make_page.cmake), handed to the loader as bytes:
// so the loader fetches nothing, and the page's Content-Security-Policy allows WebAssembly and no
// request for it. Where the module cannot start (no WebAssembly, as under Lockdown Mode; a policy
// that forbids it; a page cut short) the window says so and the console says why. The notice
// stands after the script, hidden while it runs; where the script never runs, it shows.

Module.wasmBinary = Uint8Array.from(atob(document.getElementById('module').text), (c) => c.charCodeAt(0));

Module.onAbort = (cause) => {
  console.error('SMorvala cannot start:', cause);
  document.documentElement.classList.remove('runs');
  document.getElementById('page').inert = true;
};
document.documentElement.classList.add('runs');
