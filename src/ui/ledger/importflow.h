#pragma once
// The import of the agricultural register as the subscriber screen offers it when its
// register is empty: the question, the file dialog for ".rg3", unpacking and checks with
// the progress window, the start-date picker, the import itself and the final message.

class QWidget;

namespace vestronia {

class Database;
struct Session;

// Runs the whole sequence; every refusal and error is shown as a message. True when
// subscribers were added.
bool runImportFlow(Database &db, const Session &session, QWidget *parent);

} // namespace vestronia
