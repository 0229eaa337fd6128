#pragma once
// The thesaurus component with its stock dialog (TThesDialog).
#include "spell/lx3thesaurusbase.h"

namespace spell {

class TThesaurus3 : public TThesaurus3Base {
public:
    explicit TThesaurus3(rtl::TComponent* Owner) : TThesaurus3Base(Owner) {}
    const char* ClassName() const override { return "TThesaurus3"; }

protected:
    ui::TForm* CreateThesaurusDialog() override;
};

}  // namespace spell
