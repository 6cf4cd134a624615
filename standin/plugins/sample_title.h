#pragma once
// The sample title: the index of sample.kol and, through the gen/bggen
// attributes (ignored by the module), what the generator draws into
// bin/sample-cd. Compiled with -fexec-charset=CP932, so the text is Shift-JIS.
// Several names carry 0x5C trail bytes (ソ 表 十 能) on purpose.

#define T "\t"
inline constexpr char kSampleTitle[] = "サンプルタイトル「コルブリの庭」";
inline constexpr char kSampleManifest[] =
    "title サンプルタイトル「コルブリの庭」\n"
    "category 風景\n"
    "  picture 夕焼けの海" T "file=cg\\風景\\夕焼け.bmp" T
    "gen=640x480x24:11\n"
    "  picture 森の小道" T "file=cg\\風景\\森.bmp" T
    "gen=640x400x8:12\n"
    "  picture 表通り" T "file=cg\\風景\\表通り.bmp" T
    "gen=640x400x4:13\n"
    "  category 夜景\n"
    "    picture 月夜" T "file=cg\\風景\\夜景\\月夜.bmp" T
    "gen=640x480x8:14\n"
    "    picture 星空" T "file=cg\\風景\\夜景\\星空.bmp" T
    "gen=640x400x24:15\n"
    "    category 空のカテゴリ\n"
    "category 人物\n"
    "  picture ソフィア（教室）" T "file=cg\\人物\\ソフィア.bmp" T "gen=640x480x8:21:key" T
    "bg=bg\\教室.bmp" T
    "bggen=640x480x24:51\n"
    "  picture 十兵衛（廊下）" T "file=cg\\人物\\十兵衛.bmp" T "gen=640x480x4:22:key" T
    "bg=bg\\廊下.bmp" T
    "bggen=640x480x8:52\n"
    "  picture 能登（屋上）" T "file=cg\\人物\\能登.bmp" T "gen=640x400x24:23:key" T
    "bg=bg\\屋上.bmp" T
    "bggen=640x400x24:53\n"
    "  picture 予告" T "file=cg\\人物\\予告.bmp" T
    "gen=640x400x8:24\n"
    "category イベント\n"
    "  category 第一章\n"
    "    picture 出会い" T "file=cg\\ev\\01.bmp" T
    "gen=640x480x24:31\n"
    "    picture 約束" T "file=cg\\ev\\02.bmp" T
    "gen=640x480x4:32\n"
    "  category 第二章\n"
    "    picture 別れ" T "file=cg\\ev\\03.bmp" T
    "gen=640x400x8:33\n"
    "picture 表紙" T "file=cg\\表紙.bmp" T "gen=640x480x24:41\n";
#undef T
