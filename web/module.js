// The module, carried in the page as base64 (web/make_page.cmake), handed to the loader as bytes:
// so the loader fetches nothing, and the page's Content-Security-Policy allows WebAssembly and no
// request for it. Where the module cannot start (no WebAssembly, as under Lockdown Mode; a policy
// that forbids it) the window says so and the console says why. The notice stands before the
// module in the page, hidden once the script runs; where the script never runs, as on a page cut
// short, it shows after a while (web/style.css).

Module.wasmBinary = Uint8Array.from(atob(document.getElementById('module').text), (c) => c.charCodeAt(0));

Module.onAbort = (cause) => {
  console.error('SMorvala cannot start:', cause);
  document.documentElement.classList.replace('runs', 'stopped');
  document.getElementById('page').inert = true;
};
document.documentElement.classList.add('runs');
