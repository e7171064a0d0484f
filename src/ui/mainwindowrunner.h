#pragma once
// Opens the main window for the run and returns when it has closed.

namespace vestronia {

class Database;
struct Session;

void runMainWindow(Database &db, Session &session);

} // namespace vestronia
