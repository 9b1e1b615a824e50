// Windows backing of TDIB: written with the clock window.
