// The records a book-matrix control draws. Part of the kernel contract.
#pragma once

#include <windows.h>

#include <string>

// Texts and flags of one book. Narrow strings are in the thread's ANSI code page.
struct BOOK_INFO {
    bool bValid = false;  // true in every record the shelf builds
    bool bReady = false;  // the book is ready to be opened
    std::string strAppId; // the book id as decimal text
    std::string strText1; // not filled by the shelf
    std::string strText2; // the book's title
    std::string strText3; // not filled by the shelf
    std::string strText4; // not filled by the shelf
    std::string strText5; // the item's third text (GetTextC)
    std::string strText6; // the book's author (GetTextB)
};

// One tile of the book matrix. The shelf fills bookInfo and leaves every other field zero; the
// remaining fields belong to the matrix control (its tile geometry and drawing state).
struct BOOK_ITEM {
    BOOK_INFO bookInfo;
    int nTileIndex = 0;
    RECT rcTile = {};
    RECT rcCover = {};
    RECT rcCaption = {};
    bool bSelected = false;
    int nHoverPart = 0;
    bool bImageLoaded = false;
    int nImageWidth = 0;
    int nImageHeight = 0;
    RECT rcMark = {};
};
