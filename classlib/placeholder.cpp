namespace NS_Classlib {}
