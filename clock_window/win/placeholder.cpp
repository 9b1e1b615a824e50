// The clock window's Windows code lives in this folder.
