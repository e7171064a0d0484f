// The window side of the import: asks, shows, and leaves the work to the import service.
// The service runs as one transaction, so an error shown here left nothing written.

#include "ui/ledger/importflow.h"

#include "core/dates.h"
#include "core/session.h"
#include "import/agriculturalbackup.h"
#include "import/householdimport.h"
#include "import/importerror.h"
#include "ui/shell/contor.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/seldatas.h"

#include <memory>

namespace vestronia {

namespace {
void showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}
} // namespace

bool runImportFlow(Database &db, const Session &session, QWidget *parent)
{
    // Without the right to change data there is nothing to offer.
    if (!session.canModify())
        return false;
    if (mesaj(QStringLiteral("Preluare date din Reg.Agr."),
              QStringLiteral("\rDoriti preluarea datelor dintr-o salvare din Registrul Agricol?"), MesajButtons::DaNu,
              MesajKind::Confirmare)
        != MesajResult::Da)
        return false;
    const QString path = chooseOpenFile(parent, QStringLiteral("Alegeti o salvare din Reg.Agricol"),
                                        QStringLiteral("Salvare Reg.Agricol (*.rg3)"));
    if (path.isEmpty())
        return false;

    Contor &contor = Contor::instance();
    try {
        std::unique_ptr<AgriculturalBackup> backup;
        try {
            backup = std::make_unique<AgriculturalBackup>(session, path, contor);
        } catch (const ImportError &) {
            throw;
        } catch (const VestroniaError &) {
            // Whatever stopped the unpacking, the clerk learns the backup cannot be used.
            throw ImportError(QStringLiteral("Dezarhivare date R.A."), QStringLiteral("\rSalvarea nu poate fi deschisa!"));
        }

        SelDataS picker(parent);
        if (!picker.run(QStringLiteral("Preluare date R.A.")))
            return false;
        importHouseholds(db, session, *backup, dayNumberOf(picker.date()), contor);
    } catch (const ImportError &e) {
        contor.finish();
        showError(e.title(), e.message());
        return false;
    } catch (const VestroniaError &e) {
        contor.finish();
        showError(QStringLiteral("Preluare date Reg.Agr."), e.message());
        return false;
    }
    mesaj(QStringLiteral("Preluare date Reg.Agricol"), QStringLiteral("\rAbonatii au fost adaugati cu succes!"),
          MesajButtons::OK, MesajKind::Informatie);
    return true;
}

} // namespace vestronia
