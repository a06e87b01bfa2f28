// Turns a layer's text rows into declarations of its named texts (see text_table.h).
// Included right before a rows file; text_rows_end.h follows it.
#define SAME_TEXT(name, text) extern const char* name;
#define TWO_TEXTS(name, chinese, english) extern const char* name;
#define SAME_WIDE(name, text) extern const wchar_t* name;
#define TWO_WIDE(name, chinese, english) extern const wchar_t* name;
