compile
