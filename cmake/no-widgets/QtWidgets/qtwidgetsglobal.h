#error "kelvaro_core must not use QtWidgets: put window code into a ui/ folder"
