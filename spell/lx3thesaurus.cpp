// The thesaurus component with its stock dialog.
#include "spell/lx3thesaurus.h"

#include "spell/lx3thesaurusdialog.h"

namespace spell {

ui::TForm* TThesaurus3::CreateThesaurusDialog() { return new TThesDialog(this); }

}  // namespace spell
