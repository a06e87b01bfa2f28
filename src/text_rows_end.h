// Ends the use of a layer's text rows begun by text_rows_declare.h,
// text_rows_define.h, text_rows_narrow.h or text_rows_wide.h.
#undef SAME_TEXT
#undef TWO_TEXTS
#undef SAME_WIDE
#undef TWO_WIDE
