// Turns a layer's text rows into the rows of its narrow texts (see text_table.h).
#define SAME_TEXT(name, text) {#name, &name, text, text},
#define TWO_TEXTS(name, chinese, english) {#name, &name, chinese, english},
#define SAME_WIDE(name, text)
#define TWO_WIDE(name, chinese, english)
