// Turns a layer's text rows into the rows of its wide texts (see text_table.h).
#define SAME_TEXT(name, text)
#define TWO_TEXTS(name, chinese, english)
#define SAME_WIDE(name, text) {#name, &name, text, text},
#define TWO_WIDE(name, chinese, english) {#name, &name, chinese, english},
