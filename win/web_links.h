// The two web addresses of the menu and the About box. Each is opened on a thread of its
// own, so the game never waits for the shell or the browser; nothing waits for the thread.
#ifndef SMORVALA_WEB_LINKS_H
#define SMORVALA_WEB_LINKS_H

// Thread procedures for _beginthread: each asks the shell to open one address and ends.
void __cdecl OpenHomePage(void* unused);
void __cdecl OpenGamePage(void* unused);

// Start one of the threads above and return at once. Failures are ignored.
void StartOpeningHomePage();
void StartOpeningGamePage();

#endif
