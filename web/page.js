// The page around the game: the main window's canvas and controls, its menu, the About box, the
// message boxes, the fall timer, the sounds, the queue that hands the game (the module) one event
// at a time, as the program's message loop does, and the game kept in the page's storage. The
// game calls back through web/platform_library.js.

var Page = (function () {
  const page = document.getElementById('page');
  const windowArea = document.getElementById('window');
  const client = document.getElementById('client');
  const context = document.getElementById('canvas').getContext('2d', {alpha: false});
  const controls = new Map(Array.from(client.querySelectorAll('[data-control]'),
                                      (control) => [Number(control.dataset.control), control]));
  const controlButtons = Array.from(client.querySelectorAll('button'));
  const pauseButton = client.querySelector('button[data-control="1"]');
  const about = document.getElementById('about');
  const messageBox = document.getElementById('message-box');

  // --- The message loop. Input is handed on in the order it came; a pending repaint once no
  // input waits, and the fall timer's tick once neither does. However many periods go by while
  // the game is busy, one tick waits.
  const input = [];
  let ready = false;
  let busy = false;
  let pausedOnLeaving = false;
  let tickPending = false;
  let ended = false;

  function callGame(name, ...numbers) {
    return Module.ccall(name, null, numbers.map(() => 'number'), numbers, {async: true});
  }

  async function pump() {
    if (!ready || busy) return;
    busy = true;
    try {
      while (!ended) {
        if (input.length > 0) {
          await input.shift()();
        } else if (Module._SmorvalaPaint()) {
          // The first repaint after Start chooses the first pieces: from then on there is a game.
        } else if (tickPending) {
          tickPending = false;
          await callGame('SmorvalaTick');
        } else {
          break;
        }
        keep();
        // Played on, the game no longer stands as the page paused it when it was left.
        if (Module._SmorvalaInPlay()) pausedOnLeaving = false;
      }
    } finally {
      busy = false;
    }
  }

  function post(event) {
    if (ended) return;
    input.push(event);
    handKeysToBox();
    pump();
  }

  // --- The fall timer: armed again, it counts a whole period from now.
  let timer = 0;

  function armTimer(periodMs) {
    killTimer();
    timer = setInterval(() => { tickPending = true; pump(); }, periodMs);
  }

  function killTimer() {
    clearInterval(timer);
    tickPending = false;
  }

  // --- Drawing, texts and the focus.
  // As FillRect, an empty rectangle fills nothing.
  function fill(left, top, right, bottom, colour) {
    if (right <= left || bottom <= top) return;
    context.fillStyle = '#' + colour.toString(16).padStart(6, '0');
    context.fillRect(left, top, right - left, bottom - top);
  }

  function erase(colour) {
    fill(0, 0, context.canvas.width, context.canvas.height, colour);
  }

  // The level and score boxes announce a change to a screen reader; the same text set again, as
  // every landing sets the level's, is no change.
  function setText(controlId, text) {
    const control = controls.get(controlId);
    if (control.textContent !== text) control.textContent = text;
  }

  function focusWindow() {
    client.focus({preventScroll: true});
  }

  // --- The boxes. While any is open the window, its menu and the rest of the page take no
  // click and no key, and the keys go to the topmost box. A game can end behind the About box,
  // so the game-over box may open on top of it. Closed, a box gives the focus back to where it
  // was.
  const openBoxes = [];

  function openBox(box, onKey, focus) {
    openBoxes.push({box, onKey, focused: document.activeElement});
    page.inert = true;
    stopTouchRepeat();
    box.hidden = false;
    focus.focus({preventScroll: true});
    handKeysToBox();
  }

  // A box's own loop takes the keys from the same queue, those typed before it opened too, while
  // the game waits for its answer; the clicks wait for the game.
  function handKeysToBox() {
    for (let i = 0; i < input.length && openBoxes.length > 0;) {
      if (input[i].key) {
        openBoxes[openBoxes.length - 1].onKey(input.splice(i, 1)[0].key);
      } else {
        i += 1;
      }
    }
  }

  function closeBox(box) {
    const [{focused}] = openBoxes.splice(openBoxes.findIndex((open) => open.box === box), 1);
    box.hidden = true;
    page.inert = openBoxes.length > 0;
    (focused && focused !== document.body && !focused.closest('[hidden]') ? focused : client)
      .focus({preventScroll: true});
  }

  // A question offers 是 and 否, answered by Y and N too, and Esc does nothing; the game-over
  // box offers 确定, which Esc and its close box answer too. Space presses the button that has
  // the focus, the first one at the start, and Enter presses it too, or the first one wherever
  // else the focus is. A click elsewhere in the box leaves the focus where it was.
  function showMessageBox(caption, text, question) {
    return new Promise((resolve) => {
      messageBox.querySelector('.caption-text').textContent = caption;
      messageBox.querySelector('.text').textContent = text;
      // The game-over box has no caption: its text names it.
      messageBox.setAttribute('aria-labelledby', caption ? 'message-caption' : 'message-text');
      messageBox.classList.toggle('question', question);
      const close = messageBox.querySelector('.close');
      close.disabled = question;
      const answers = Array.from(messageBox.querySelectorAll('[data-answer]'))
        .filter((button) => button.classList.contains('for-question') === question);
      const answer = (button) => {
        for (const each of [...answers, close]) each.onclick = null;
        closeBox(messageBox);
        resolve(Number(button.dataset.answer));
      };
      for (const button of answers) button.onclick = () => answer(button);
      close.onclick = () => answer(answers[0]);
      openBox(messageBox, (key) => {
        const focused = answers.includes(document.activeElement) ? document.activeElement : answers[0];
        const button = key === 'Enter' ? focused : answers.find((each) => each.dataset.key === key.toLowerCase());
        if (button) answer(button);
      }, answers[0]);
      // A question leaves the game as it was; the game-over box ends it, and it is kept no more.
      keep();
    });
  }

  // The About box: closed by its close box alone; Enter and Esc leave it open. The game goes on
  // behind it, and no control has the focus until the player tabs or clicks to one.
  function showAbout() {
    if (!about.hidden) return;
    openBox(about, () => {}, about);
  }
  about.querySelector('.close').addEventListener('click', () => closeBox(about));
  messageBox.addEventListener('mousedown', (event) => { if (!event.target.closest('button')) event.preventDefault(); });
  document.getElementById('visit').addEventListener('click', (event) => {
    window.open(event.currentTarget.dataset.address, '_blank', 'noopener');
  });

  // --- The menu: its commands take no focus, as a menu bar's; Alt and the underlined letter
  // choose them.
  const menu = {e: document.getElementById('menu-home'), a: document.getElementById('menu-about')};
  for (const item of Object.values(menu)) item.addEventListener('mousedown', (event) => event.preventDefault());
  menu.a.addEventListener('click', (event) => {
    event.preventDefault();
    post(showAbout);
  });

  // --- The keys, which wait in the queue as the program's messages do and go where the focus is
  // when the game takes them: to the box then open; to a button of the window that has the focus,
  // which takes them itself, and only Space presses it; else to the window, whose eight piece keys
  // the game handles. No key the page takes scrolls it. Tab moves the focus. A letter is the one
  // the key types, or on a keyboard that types no Latin letters the key in its place, as Windows
  // has them.
  const virtualKeys = {ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, a: 65, d: 68, s: 83, w: 87};

  // A Mac's Option with a letter types another character, or starts an accent: the key's place too.
  function keyName(event) {
    const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
    const other = (key.length === 1 && !/[a-z]/.test(key)) || key === 'Dead';
    return other && event.code.startsWith('Key') ? event.code.slice(3).toLowerCase() : key;
  }

  // The browser's own, whatever has the focus and whatever box is open: the keys held with Ctrl
  // or the system key, with Alt but for the menu's letters, and the function keys. AltGr is Ctrl
  // and Alt together.
  function browsersOwn(event, key) {
    return event.ctrlKey || event.metaKey || (event.altKey && !menu[key]) || /^F\d+$/.test(key);
  }

  // The browser presses a focused button or link itself: with Space; with Enter too, outside the
  // window and the question box, which take Enter as Windows does.
  function pressedByBrowser(event, key) {
    const pressed = event.target.closest('a, button');
    return pressed && (key === ' ' || (key === 'Enter' && !client.contains(pressed) && !messageBox.contains(pressed)));
  }

  function routeKey(key) {
    if (openBoxes.length > 0) return openBoxes[openBoxes.length - 1].onKey(key);
    const virtualKey = virtualKeys[key];
    if (!virtualKey || controlButtons.includes(document.activeElement)) return undefined;
    return callGame('SmorvalaKey', virtualKey);
  }

  document.addEventListener('keydown', (event) => {
    const key = keyName(event);
    if (ended || browsersOwn(event, key) || key === 'Tab' || pressedByBrowser(event, key)) return;
    event.preventDefault();
    // The menu's letters open its commands at once, as the browser lets a page open a tab only
    // then; a box that is open takes them, and does nothing with them. A held key opens one.
    if (event.altKey) {
      if (openBoxes.length === 0 && !event.repeat) menu[key].click();
      return;
    }
    const handKey = () => routeKey(key);
    handKey.key = key;
    post(handKey);
  });

  // A push button takes the focus with its click, when the game takes that from the queue, so
  // that keys typed before it still reach the window; and in every browser, as Safari gives none.
  // Kept from the focus, Firefox shows it pressed only by the class.
  for (const button of controlButtons) {
    button.addEventListener('mousedown', (event) => event.preventDefault());
    button.addEventListener('pointerdown', () => button.classList.add('pressed'));
    for (const type of ['pointerup', 'pointerleave', 'pointercancel']) {
      button.addEventListener(type, () => button.classList.remove('pressed'));
    }
    button.addEventListener('click', () => post(() => {
      button.focus({preventScroll: true});
      return callGame('SmorvalaButton', Number(button.dataset.control));
    }));
  }

  // The touch keys: each is its piece key, and held down it repeats as a held key does on
  // Windows, after half a second and then about thirty times a second, until its finger is lifted
  // or a box opens. As on a keyboard, one repeats at a time: the one pressed last, whatever other
  // finger is lifted meanwhile. They take no focus and select no text.
  let touchRepeat = 0;
  let repeatingFinger = null;

  // A timeout and an interval share one list of timers: clearTimeout ends either.
  function stopTouchRepeat() {
    clearTimeout(touchRepeat);
    repeatingFinger = null;
  }

  for (const touchKey of document.querySelectorAll('#touch-keys button')) {
    const press = () => post(() => callGame('SmorvalaKey', virtualKeys[touchKey.dataset.key]));
    // A finger's press ends in a click, which it has pressed already; a screen reader's double tap
    // and voice control send the click alone.
    let pressedByPointer = false;
    touchKey.addEventListener('click', () => {
      if (!pressedByPointer) press();
      pressedByPointer = false;
    });
    touchKey.addEventListener('pointercancel', () => { pressedByPointer = false; });
    // A held key opens no menu and no callout.
    touchKey.addEventListener('contextmenu', (event) => event.preventDefault());
    touchKey.addEventListener('pointerdown', (event) => {
      // A mouse's other buttons open menus or go back; only its main one presses a key.
      if (event.button !== 0) return;
      event.preventDefault();
      pressedByPointer = true;
      touchKey.setPointerCapture(event.pointerId);
      stopTouchRepeat();
      repeatingFinger = event.pointerId;
      touchRepeat = setTimeout(() => { touchRepeat = setInterval(press, 33); }, 500);
      // Last, as the press may open a box, which ends the repeat.
      press();
    });
    for (const type of ['pointerup', 'pointercancel', 'lostpointercapture']) {
      touchKey.addEventListener(type, (event) => { if (event.pointerId === repeatingFinger) stopTouchRepeat(); });
    }
  }

  // Coming back to the page activates the window, which gives its focus to the main window; to
  // the Continue button while the game stands as the page paused it when it left, as the button's
  // click does. Some browsers activate the window twice.
  window.addEventListener('focus', () => {
    if (openBoxes.length === 0 && !ended) (pausedOnLeaving ? pauseButton : client).focus({preventScroll: true});
  });

  // Tabbed to, the client area shows that it has the focus; given it by the game, as after a
  // click, it looks as the program's main window does.
  let tabbing = false;
  document.addEventListener('keydown', (event) => { tabbing = event.key === 'Tab'; }, true);
  document.addEventListener('pointerdown', () => { tabbing = false; }, true);
  client.addEventListener('focus', () => client.classList.toggle('tabbed', tabbing));
  client.addEventListener('blur', () => client.classList.remove('tabbed'));

  // Where a browser has no inert, a tap or a click behind a box or the ended page would still
  // reach the window, and act once the box is answered: it stops here.
  for (const type of ['pointerdown', 'click']) {
    document.addEventListener(type, (event) => {
      if ((openBoxes.length > 0 || ended) && page.contains(event.target)) {
        event.preventDefault();
        event.stopImmediatePropagation();
      }
    }, true);
  }

  // --- The sounds, fetched and decoded at the start. Browsers let a page play sound only after
  // the player's first click or key, so that is when the page starts its audio. Without Web
  // Audio the game plays silent.
  const withAudio = 'OfflineAudioContext' in window;
  // Decoded at the files' own rate, 22050 Hz, the samples stay as they are until played.
  const decoder = withAudio ? new OfflineAudioContext(1, 1, 22050) : null;
  const samples = new Map();
  let audio = null;
  let soundEnds = 0;

  function loadSound(resourceId, file) {
    if (!withAudio) return;
    fetch(file).then((response) => response.arrayBuffer()).then((data) => decoder.decodeAudioData(data))
      .then((decoded) => samples.set(resourceId, decoded), () => {});
  }

  function wakeAudio() {
    if (!withAudio) return;
    if (!audio) audio = new AudioContext();
    if (audio.state !== 'running') audio.resume();
  }
  for (const type of ['touchend', 'click', 'pointerup', 'keydown']) document.addEventListener(type, wakeAudio, true);

  // As the program's sounds, a new one is dropped while one of ours still plays.
  function playSound(resourceId) {
    const sound = samples.get(resourceId);
    if (!sound || !audio || audio.currentTime < soundEnds) return;
    const source = audio.createBufferSource();
    source.buffer = sound;
    source.connect(audio.destination);
    source.start();
    soundEnds = audio.currentTime + sound.duration;
  }

  // --- Exit answered yes: the game ends for good, as the program does, and the page says so.
  function quit() {
    ended = true;
    killTimer();
    stopTouchRepeat();
    input.length = 0;
    page.inert = true;
    const notice = document.getElementById('ended');
    notice.hidden = false;
    notice.querySelector('button').focus({preventScroll: true});
  }
  document.querySelector('#ended button').addEventListener('click', () => location.reload());

  // --- The window at a whole number of device pixels to each of its pixels; a canvas scaled by
  // any other factor would be blurred. Beside a mouse, the nearest to the page's own scale, or
  // where that does not fit the view the largest that does; where even that leaves the window
  // less than three quarters of the size that fits, it takes the size that fits, its canvas drawn
  // pixel for pixel from the nearest. On a touch screen, the largest that fits, as a tablet has
  // room to spare; or the size that fits where that is under the program's own, as on a phone.
  const home = document.getElementById('home');
  const touchKeys = document.getElementById('touch-keys');
  const thumbs = Array.from(touchKeys.querySelectorAll('.thumb'));
  const touchScreen = matchMedia('(pointer: coarse)');

  function fitToScreen() {
    const ratio = window.devicePixelRatio || 1;
    const view = document.documentElement;
    const beside = getComputedStyle(page).flexDirection === 'row';
    const width = view.clientWidth - (beside ? thumbs[0].offsetWidth + thumbs[1].offsetWidth : 0);
    const height = view.clientHeight - (beside ? 0 : touchKeys.offsetHeight + home.offsetHeight);
    const room = Math.min(width / windowArea.offsetWidth, height / windowArea.offsetHeight);
    const nearest = Math.max(1, Math.round(ratio));
    let devicePixels = touchScreen.matches ? Math.floor(room * ratio) : nearest;
    while (devicePixels > 1 && devicePixels / ratio > room) devicePixels -= 1;
    const whole = devicePixels / ratio;
    const scale = touchScreen.matches ? (whole >= 1 ? whole : room)
      : (whole <= room && (devicePixels === nearest || whole >= 0.75 * room) ? whole : room);
    windowArea.style.transform = `scale(${scale})`;
    windowArea.parentElement.style.width = `${windowArea.offsetWidth * scale}px`;
    windowArea.parentElement.style.height = `${windowArea.offsetHeight * scale}px`;
  }
  // A new pixel ratio at the same size, as on a monitor of another scale, is no resize.
  function fitToScreenAndRatio() {
    fitToScreen();
    matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener('change', fitToScreenAndRatio, {once: true});
  }
  window.addEventListener('resize', fitToScreen);
  // A 2-in-1 whose keyboard comes off turns its pointer coarse at the same size.
  touchScreen.addEventListener('change', fitToScreen);
  fitToScreenAndRatio();

  // --- The game kept in the page's storage whenever it could be lost: after each event the game
  // handles, when a box opens, when the page is hidden and when it is left. A page the browser
  // drops says nothing, so the game is kept as it changes. Each tab plays its own game; the one
  // kept last is the one a later visit resumes, so a tab hidden or left keeps its own again,
  // whatever another kept since. Storage that is full, blocked or missing loses the resume, never
  // the game.
  const storageKey = 'smorvala-game';
  const release = document.documentElement.dataset.release;
  let holding = false;
  let kept = null;
  // Another tab whose game ended dropped the line: this tab's game in progress is kept again.
  addEventListener('storage', (event) => { if (event.key === storageKey && event.newValue === null) keep(); });

  // During the row clear's hold the rows are gone and the points not yet counted: nothing is kept.
  function hold(milliseconds, wakeUp) {
    holding = true;
    setTimeout(() => {
      holding = false;
      wakeUp();
    }, milliseconds);
  }

  // The line is read straight from the module: while a box waits for its answer the module is
  // suspended, and ccall would only hand back a promise, in the place of the one the game's
  // queue waits for.
  function keep() {
    if (!ready || holding) return;
    const game = ended ? '' : UTF8ToString(Module._SmorvalaWriteOut());
    const value = game ? JSON.stringify({release, game}) : null;
    try {
      const stored = localStorage.getItem(storageKey);
      if (value !== null && value !== stored) localStorage.setItem(storageKey, value);
      // A game that ends drops its own line only: another tab's, kept since, stays kept.
      if (value === null && kept !== null && stored === kept) localStorage.removeItem(storageKey);
      kept = value;
    } catch (error) {
      // The game goes on.
    }
  }

  // A game kept by this release comes back paused, its Pause button focused as after a pause.
  // Any other is dropped, with a warning, for a fresh game.
  function resume() {
    let stored = null;
    try {
      stored = localStorage.getItem(storageKey);
    } catch (error) {
      return false;
    }
    if (stored === null) return false;
    let saved = null;
    try {
      saved = JSON.parse(stored);
    } catch (error) {
      // Not a game of this edition.
    }
    const ours = saved !== null && typeof saved === 'object' && saved.release === release;
    // A line of the core's is some 260 characters; a long one would only fill the stack.
    const line = ours && typeof saved.game === 'string' && saved.game.length < 1024 ? saved.game : null;
    if (line !== null && Module.ccall('SmorvalaReadBack', 'number', ['string'], [line]) === 1) {
      kept = stored;
      pauseButton.focus({preventScroll: true});
      return true;
    }
    console.warn(ours ? 'SMorvala: the game kept in this browser is not a whole game; a new game begins.'
      : 'SMorvala: the game kept in this browser is of another release; a new game begins.');
    try {
      localStorage.removeItem(storageKey);
    } catch (error) {
      // Kept it stays, and is dropped again next time.
    }
    return false;
  }

  // A phone game pauses as it leaves the screen: as the Pause button does, once the game takes
  // the click from the queue, and only a game in play. A question open has stopped the game
  // already and waits for its answer; the About box stays open. Left, the page may come back
  // from the browser's cache, where some browsers said nothing of it being hidden.
  function leave() {
    if (!ready || ended) return;
    const pause = () => {
      if (!Module._SmorvalaInPlay()) return;
      pausedOnLeaving = true;
      if (openBoxes.length === 0) pauseButton.focus({preventScroll: true});
      return callGame('SmorvalaButton', Number(pauseButton.dataset.control));
    };
    if (messageBox.hidden) post(pause);
    keep();
  }
  document.addEventListener('visibilitychange', () => { if (document.visibilityState === 'hidden') leave(); });
  addEventListener('pagehide', leave);

  function start() {
    Module._SmorvalaStartUp();
    if (!resume()) focusWindow();
    ready = true;
    pump();
    // Kept by the service worker, the edition plays again with the network off; where the
    // browser keeps none, it plays online as before. Asked for after the first picture, which it
    // would only delay.
    if ('serviceWorker' in navigator) navigator.serviceWorker.register('service-worker.js').catch(() => {});
  }

  return {fill, erase, armTimer, killTimer, setText, focusWindow, loadSound, playSound, quit, showMessageBox, hold,
          start};
})();

Module.onRuntimeInitialized = Page.start;
