#include "link/AppState.h"

AppState appState;

void resetAppState() {
    appState = AppState{};
}
