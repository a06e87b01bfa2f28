// Turns a layer's text rows into the definitions of its named texts, each
// pointing at its Chinese text until a language is chosen (see text_table.h).
#define SAME_TEXT(name, text) const char* name = text;
#define TWO_TEXTS(name, chinese, english) const char* name = chinese;
#define SAME_WIDE(name, text) const wchar_t* name = text;
#define TWO_WIDE(name, chinese, english) const wchar_t* name = chinese;
