# The headless spell suite's sources, shared with the fuzz and corpus
# replay builds (which do not know the platform's controls).
set(SPELLSUITE_SOURCES
  lx3util.cpp
  lxcase.cpp
  lxcodepage.cpp
  lx3texts.cpp
  lxinifile.cpp
  lx3configuration.cpp
  lx3suggestions.cpp
  lx3phoneticsmap.cpp
  lx3maindictionary.cpp
  lx3customdictionary.cpp
  lx3thesaurusfile.cpp
  lx3parserbase.cpp
  lx3stringparser.cpp
  lx3parseengine.cpp
  lx3ignore.cpp
  lx3texttarget.cpp
  lx3winapiparser.cpp
  lx3spellbase.cpp
)
