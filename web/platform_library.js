// The browser's side of the platform seam (game/platform.h, web/web_platform.cpp): each operation
// the game asks for, handed to the page (web/page.js).
mergeInto(LibraryManager.library, {
  smorvala_fill: function (left, top, right, bottom, colour) { Page.fill(left, top, right, bottom, colour); },
  smorvala_erase: function (colour) { Page.erase(colour); },
  smorvala_arm_timer: function (periodMs) { Page.armTimer(periodMs); },
  smorvala_kill_timer: function () { Page.killTimer(); },
  smorvala_set_text: function (controlId, text) { Page.setText(controlId, UTF8ToString(text)); },
  smorvala_focus_window: function () { Page.focusWindow(); },
  smorvala_load_sound: function (resourceId, file) { Page.loadSound(resourceId, UTF8ToString(file)); },
  smorvala_play_sound: function (resourceId) { Page.playSound(resourceId); },
  smorvala_quit: function () { Page.quit(); },
  // The game is suspended, and the page goes on, until the player answers or the time is up.
  smorvala_message_box: function (caption, text, question) {
    return Asyncify.handleAsync(function () {
      return Page.showMessageBox(UTF8ToString(caption), UTF8ToString(text), question === 1);
    });
  },
  smorvala_hold: function (milliseconds) {
    Asyncify.handleSleep(function (wakeUp) { Page.hold(milliseconds, wakeUp); });
  },
});
